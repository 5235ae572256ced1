// The INF reader against the INF syntax SetupAPI documents: sections, keys and fields,
// quotes, comments, continuations, string substitution, decorated models sections, and
// hostile input that must fail cleanly or be read within bounds.
#include <gtest/gtest.h>

#include <string>

#include "inf_reader.h"
#include "platform/win32.h"

namespace {

using sim::inf::File;

File Read(const std::string& text) {
    File file;
    EXPECT_EQ(sim::inf::Parse(text, file), 0u) << text;
    return file;
}

const sim::inf::Line& OnlyLine(const File& file, const char* section) {
    const sim::inf::Section* s = sim::inf::FindSection(file, section);
    EXPECT_NE(s, nullptr) << section;
    EXPECT_EQ(s->lines.size(), 1u);
    return s->lines.at(0);
}

TEST(InfSyntax, KeysAndFieldsAreTrimmedAndSectionNamesIgnoreCase) {
    File file = Read("[Install]\r\n  CopyFiles =  a.sys , b.dll,,last  \r\n");
    const sim::inf::Line& line = OnlyLine(file, "INSTALL");
    EXPECT_TRUE(line.hasKey);
    EXPECT_EQ(line.key, "CopyFiles");
    ASSERT_EQ(line.fields.size(), 4u);
    EXPECT_EQ(line.fields[0], "a.sys");
    EXPECT_EQ(line.fields[1], "b.dll");
    EXPECT_EQ(line.fields[2], "");
    EXPECT_EQ(line.fields[3], "last");
}

TEST(InfSyntax, QuotesKeepBlanksCommasSemicolonsAndDoubledQuotes) {
    File file = Read("[S]\nk = \" a, b; c \" , \"say \"\"hi\"\"\" ; comment\n");
    const sim::inf::Line& line = OnlyLine(file, "s");
    ASSERT_EQ(line.fields.size(), 2u);
    EXPECT_EQ(line.fields[0], " a, b; c ");
    EXPECT_EQ(line.fields[1], "say \"hi\"");
}

TEST(InfSyntax, CommentsAndBlankLinesAreNotLines) {
    File file = Read("; leading comment\n\n[S]\n; only a comment\n   \nvalue ; trailing\n");
    const sim::inf::Line& line = OnlyLine(file, "S");
    EXPECT_FALSE(line.hasKey);
    ASSERT_EQ(line.fields.size(), 1u);
    EXPECT_EQ(line.fields[0], "value");
}

TEST(InfSyntax, BackslashAtLineEndContinuesTheLine) {
    File file = Read("[S]\nCopyFiles = one, \\\r\n   two, \\ ; a comment after the mark\n three\n");
    const sim::inf::Line& line = OnlyLine(file, "S");
    ASSERT_EQ(line.fields.size(), 3u);
    EXPECT_EQ(line.fields[2], "three");
}

TEST(InfSyntax, RepeatedSectionsAreMerged) {
    File file = Read("[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n");
    const sim::inf::Section* a = sim::inf::FindSection(file, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->lines.size(), 2u);
    EXPECT_EQ(file.sections.size(), 2u);
}

TEST(InfSyntax, UnicodeFileWithByteOrderMarkIsRead) {
    const std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    File file = Read(utf16);
    EXPECT_TRUE(sim::inf::HasWindowsSignature(file));
}

TEST(InfStrings, PercentKeysAreReplacedFromStringsSection) {
    File file = Read(
        "[Version]\nProvider = %Vendor%\n[Models]\n%Desc% = Inst, ID\\%Part%\n"
        "[Strings]\nvendor = \"Sample, Inc.\"\nDESC = Widget\npart = X1\n");
    EXPECT_EQ(sim::inf::Value(file, "Version", "Provider"), "Sample, Inc.");
    const sim::inf::Line& model = OnlyLine(file, "Models");
    EXPECT_EQ(model.key, "Widget");
    // A substituted value is one field even when it holds a comma.
    EXPECT_EQ(sim::inf::Value(file, "Version", "Provider")->find(','), 6u);
    EXPECT_EQ(model.fields.at(1), "ID\\X1");
}

TEST(InfStrings, DoublePercentIsALiteralAndUnknownKeysStay) {
    File file = Read("[S]\nk = 100%% done, %12%\\a.sys, %missing%\n[Strings]\n");
    const sim::inf::Line& line = OnlyLine(file, "S");
    ASSERT_EQ(line.fields.size(), 3u);
    EXPECT_EQ(line.fields[0], "100% done");
    EXPECT_EQ(line.fields[1], "%12%\\a.sys");
    EXPECT_EQ(line.fields[2], "%missing%");
}

TEST(InfStrings, StringsAreNotSubstitutedIntoEachOther) {
    File file = Read("[S]\nk=%a%\n[Strings]\na=%b%\nb=deep\n");
    EXPECT_EQ(OnlyLine(file, "S").fields.at(0), "%b%");
}

TEST(InfHostileInput, MalformedHeadersGiveSetupApiErrors) {
    File file;
    EXPECT_EQ(sim::inf::Parse("key=value\n[S]\n", file), 0xE0000000u);
    EXPECT_EQ(sim::inf::Parse("[Unclosed\nk=v\n", file), 0xE0000001u);
    EXPECT_EQ(sim::inf::Parse("[" + std::string(256, 'N') + "]\n", file), 0xE0000002u);
    EXPECT_EQ(sim::inf::Parse("[" + std::string(255, 'N') + "]\n", file), 0u);
}

TEST(InfHostileInput, OverlongLinesAndNulBytesFailWithoutReadingOn) {
    File file;
    EXPECT_EQ(sim::inf::Parse("[S]\nk=" + std::string(5000, 'x') + "\n", file), 0xE0000003u);
    // Continuations cannot join lines past the bound either.
    std::string joined = "[S]\n";
    for (int i = 0; i < 200; ++i)
        joined += std::string(40, 'y') + "\\\n";
    EXPECT_EQ(sim::inf::Parse(joined + "end\n", file), 0xE0000003u);
    EXPECT_EQ(sim::inf::Parse(std::string("[S]\nk=a\0b\n", 11), file), 0xE0000003u);
}

TEST(InfHostileInput, SubstitutionCannotGrowALinePastTheBound) {
    std::string text = "[S]\nk=";
    for (int i = 0; i < 100; ++i)
        text += "%big%";
    text += "\n[Strings]\nbig=\"" + std::string(1000, 'z') + "\"\n";
    File file;
    EXPECT_EQ(sim::inf::Parse(text, file), 0xE0000003u);
}

TEST(InfHostileInput, UnterminatedQuotesAndStrayBracketsAreReadToLineEnd) {
    File file = Read("[S]\nk = \"open , quote\nother = ]x[ , \"\n");
    const sim::inf::Section* s = sim::inf::FindSection(file, "S");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->lines.size(), 2u);
    EXPECT_EQ(s->lines[0].fields.at(0), "open , quote");
    EXPECT_EQ(s->lines[1].fields.at(0), "]x[");
}

TEST(InfPackage, SignatureIsRequired) {
    EXPECT_TRUE(sim::inf::HasWindowsSignature(Read("[Version]\nSignature=$Chicago$\n")));
    EXPECT_FALSE(sim::inf::HasWindowsSignature(Read("[Version]\nSignature=$Other$\n")));
    EXPECT_FALSE(sim::inf::HasWindowsSignature(Read("[Strings]\n")));
}

TEST(InfPackage, DriverVerOrdersByDateThenVersion) {
    auto older = sim::inf::ParseDriverVer("03/14/2024", "2.1.0.7");
    auto laterDate = sim::inf::ParseDriverVer("3/15/2024", "1.0.0.0");
    auto laterVersion = sim::inf::ParseDriverVer("03/14/2024", "2.1.0.10");
    ASSERT_TRUE(older && laterDate && laterVersion);
    EXPECT_LT(sim::inf::Compare(*older, *laterDate), 0);
    EXPECT_LT(sim::inf::Compare(*older, *laterVersion), 0);
    EXPECT_EQ(sim::inf::Compare(*older, *older), 0);
    EXPECT_EQ(sim::inf::DateText(*older), "3-14-2024");
    EXPECT_EQ(sim::inf::VersionText(*older), "2.1.0.7");
    EXPECT_FALSE(sim::inf::ParseDriverVer("13/01/2024", ""));
    EXPECT_FALSE(sim::inf::ParseDriverVer("01/01/2024", "1.70000.0.0"));
    EXPECT_FALSE(sim::inf::ParseDriverVer("yesterday", ""));
}

// On x64 Windows only NTamd64 decorations count, and the most specific one that fits the
// running version (10.0, build 19045) wins.
TEST(InfModels, MostSpecificApplicableAmd64DecorationIsChosen) {
    File file = Read(
        "[Manufacturer]\n"
        "A = M, NTx86, NTamd64, NTamd64.10.0, NTamd64.10.0...99999, NTarm64\n"
        "B = Plain\n"
        "C = Old, NT, NTamd64.6.1\n"
        "D = Server, NTamd64.10.0.3\n");
    const sim::inf::Section* m = sim::inf::FindSection(file, "Manufacturer");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(sim::inf::ModelsSectionFor(m->lines[0]), "M.NTamd64.10.0");
    EXPECT_EQ(sim::inf::ModelsSectionFor(m->lines[1]), "");
    EXPECT_EQ(sim::inf::ModelsSectionFor(m->lines[2]), "Old.NTamd64.6.1");
    EXPECT_EQ(sim::inf::ModelsSectionFor(m->lines[3]), "");
}

TEST(InfModels, ModelsListHardwareThenCompatibleIdsOfTheChosenSection) {
    File file = Read(
        "[Manufacturer]\n%M% = Dev, NTamd64\n"
        "[Dev]\nUndecorated = I, ID\\NOT_ON_X64\n"
        "[Dev.NTamd64]\n%D% = Inst, PCI\\VEN_1&DEV_2, PCI\\CC_0102\nbroken line\n"
        "[Strings]\nM=Maker\nD=Device\n");
    auto models = sim::inf::Models(file);
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(models[0].description, "Device");
    EXPECT_EQ(models[0].installSection, "Inst");
    ASSERT_EQ(models[0].ids.size(), 2u);
    EXPECT_EQ(models[0].ids[1], "PCI\\CC_0102");
}

TEST(InfModels, InstallSectionPrefersAmd64ThenNtThenPlain) {
    File file = Read("[Inst]\n[Inst.NT]\n[Other]\n[Other.ntamd64]\n");
    EXPECT_EQ(sim::inf::InstallSectionFor(file, "Inst"), "Inst.NT");
    EXPECT_EQ(sim::inf::InstallSectionFor(file, "other"), "Other.ntamd64");
    EXPECT_EQ(sim::inf::InstallSectionFor(file, "Missing"), "");
}

}  // namespace
