#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "SetupIniReference.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Described(const std::string& section, const std::string& key)
{
    for (const TIniSectionReference& s : SetupIniSections())
        if (s.Name == section) {
            if (key.empty()) return true;
            for (const TIniKeyReference& k : s.Keys)
                if (k.Name == key) return true;
        }
    return false;
}

}  // namespace

TEST(SetupIniReference, EverythingTheReaderReadsIsDescribed)
{
    // The reader's own source: every key, page key and list section it asks for.
    std::string reader = ReadFile(SETUP_SOURCE_DIR "/src/core/model/SetupModel.cpp");
    ASSERT_FALSE(reader.empty());
    std::set<std::pair<std::string, std::string>> read;
    const std::regex key(R"re(ini\.Read(?:String|Bool)\("(\w+)", "(\w+)")re"),
        section(R"re(ReadSection\("(\w+)"\))re"), page(R"re(\{"(\w+)", pf\w+\})re");
    for (std::sregex_iterator m(reader.begin(), reader.end(), key), end; m != end; ++m) read.insert({(*m)[1], (*m)[2]});
    for (std::sregex_iterator m(reader.begin(), reader.end(), section), end; m != end; ++m) read.insert({(*m)[1], ""});
    for (std::sregex_iterator m(reader.begin(), reader.end(), page), end; m != end; ++m) read.insert({"Pages", (*m)[1]});
    EXPECT_GT(read.size(), 30u) << "the reader's calls were not found";
    for (const auto& [s, k] : read) EXPECT_TRUE(Described(s, k)) << "[" << s << "] " << k << " is read but not described";
}

TEST(SetupIniReference, TheDocumentIsTheGeneratedOne)
{
    EXPECT_EQ(ReadFile(SETUP_SOURCE_DIR "/docs/setup-ini.md"), SetupIniReferenceText())
        << "docs/setup-ini.md is stale: out/bin/mksetup reference > docs/setup-ini.md";
}

TEST(SetupIniReference, EverySectionHasHelpAndAnExample)
{
    for (const TIniSectionReference& s : SetupIniSections()) {
        EXPECT_FALSE(s.Help.empty()) << s.Name;
        EXPECT_FALSE(s.Example.empty()) << s.Name;
        EXPECT_EQ(s.List, !s.LineForm.empty()) << s.Name;
        for (const TIniKeyReference& k : s.Keys) EXPECT_FALSE(k.Help.empty() || k.Form.empty()) << k.Name;
    }
}
