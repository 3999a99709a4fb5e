#pragma once
// The Windows count of the installations that rely on a file outside their own
// folders: one DWORD per full path under HKEY_LOCAL_MACHINE\...\SharedDLLs (HKEY_CURRENT_USER for an
// installation for one user: see InstallScope.h), counted in the scope given.
// An installation adds one when it installs such a file and takes it back on
// removal; the file goes only with the last reference.
#include <string>

#include "InstallScope.h"

// The file's count; 0 when it has none.
int SharedFileCount(TInstallScope scope, const std::string& path);
// Whether another installation this one may share the place with counts it:
// one of the same scope, or, for an installation for one user, one for
// everyone too. An installation for everyone takes no user's count as evidence.
bool CountedByAnotherInstallation(TInstallScope scope, const std::string& path);
void AddSharedFileReference(TInstallScope scope, const std::string& path);
// Takes one reference back and returns how many remain; at 0 the entry goes.
int ReleaseSharedFileReference(TInstallScope scope, const std::string& path);

// Whether a reference was taken on the file since its count was `before`:
// how a run ended between logging that it takes one and taking it is read.
bool SharedReferenceTakenSince(TInstallScope scope, const std::string& path, const std::string& before);
