// The relations the Device Catalog keeps and that its users rely on, checked over the whole table.
#include "catalog/catalog.h"
#include "catalog/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

const CatalogEntry& Row(std::size_t i) {
    return kDeviceCatalog[i];
}

std::vector<const CatalogEntry*> Rows() {
    std::vector<const CatalogEntry*> rows;
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        rows.push_back(&kDeviceCatalog[i]);
    }
    return rows;
}

bool IsHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool IsDecimal(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return UpperCase(a) == UpperCase(b);
}

std::string InfName(const CatalogEntry& row) {
    const std::string path = row.infRelativePath;
    return path.substr(path.find('\\') + 1);
}

std::string WithoutLast(std::string_view text, std::size_t count) {
    return std::string(text.substr(0, text.size() - count));
}

int CountWithTally(const std::map<std::string, int>& tally, int times) {
    return static_cast<int>(std::count_if(tally.begin(), tally.end(),
                                          [&](const auto& item) { return item.second == times; }));
}

TEST(CatalogTable, StartsWithTheDemoDevice) {
    const CatalogEntry& demo = Row(0);
    EXPECT_EQ(demo.productId, 0u);
    EXPECT_STREQ(demo.model, "Demo");
    EXPECT_STREQ(demo.infRelativePath, "Demo\\TolDemos.inf");
    EXPECT_STREQ(demo.hardwareId, "DEMO");
    EXPECT_STREQ(demo.userDll, "TolDemo.dll");
    EXPECT_STREQ(demo.kernelDriver, "TolDemos.sys");
    EXPECT_STREQ(demo.kernelKey, "TolDemoS");
    EXPECT_STREQ(demo.busType, "DEMO");
}

TEST(CatalogTable, RowOneIsThePx1001BoardThatHelpTextsName) {
    const CatalogEntry& row = Row(1);
    EXPECT_EQ(row.productId, 0x0101u);
    EXPECT_STREQ(row.model, "PX-1001");
    EXPECT_STREQ(row.infRelativePath, "PX1001\\TolPx10s.inf");
    EXPECT_STREQ(row.hardwareId, "PCI\\VEN_5AE3&DEV_1001");
    EXPECT_STREQ(row.userDll, "TolPx10.dll");
    EXPECT_STREQ(row.kernelDriver, "TolPx10s.sys");
    EXPECT_STREQ(row.kernelKey, "TolPx10S");
    EXPECT_STREQ(row.busType, "PCI");
}

TEST(CatalogTable, Holds150RowsAndThenTheEndRow) {
    EXPECT_EQ(kCatalogRowCount, 150u);
    const CatalogEntry& end = Row(150);
    EXPECT_EQ(end.productId, 0xFFFFu);
    EXPECT_EQ(end.model, nullptr);
    EXPECT_EQ(end.infRelativePath, nullptr);
    EXPECT_EQ(end.hardwareId, nullptr);
    EXPECT_EQ(end.userDll, nullptr);
    EXPECT_EQ(end.kernelDriver, nullptr);
    EXPECT_EQ(end.kernelKey, nullptr);
    EXPECT_EQ(end.busType, nullptr);
    EXPECT_TRUE(CatalogIsEndRow(end));
    for (const CatalogEntry* row : Rows()) {
        EXPECT_FALSE(CatalogIsEndRow(*row)) << row->model;
    }
}

TEST(CatalogTable, ProductRowsHaveNoEmptyTextAndSmallPositiveIds) {
    for (std::size_t i = 1; i < kCatalogRowCount; ++i) {
        const CatalogEntry& row = Row(i);
        for (const char* text : {row.model, row.infRelativePath, row.hardwareId, row.userDll,
                                 row.kernelDriver, row.kernelKey, row.busType}) {
            ASSERT_NE(text, nullptr) << "row " << i;
            EXPECT_NE(text[0], '\0') << "row " << i;
        }
        EXPECT_GT(row.productId, 0u) << row.model;
        EXPECT_LT(row.productId, 0xFFFFu) << row.model;
    }
}

TEST(CatalogTable, CountsRowsPerBusType) {
    std::map<std::string, int> buses;
    for (const CatalogEntry* row : Rows()) {
        ++buses[row->busType];
    }
    const std::map<std::string, int> expected = {
        {"DEMO", 1}, {"PCI", 99}, {"PCIE", 20}, {"USB", 16}, {"ISA", 14}};
    EXPECT_EQ(buses, expected);
}

TEST(CatalogTable, GroupsRowsByFamilyInTheDocumentedOrder) {
    std::vector<std::string> runs;
    for (const CatalogEntry* row : Rows()) {
        if (runs.empty() || runs.back() != row->busType) {
            runs.push_back(row->busType);
        }
    }
    const std::vector<std::string> expected = {"DEMO", "PCI", "ISA", "PCI", "USB", "PCIE"};
    EXPECT_EQ(runs, expected);
}

TEST(CatalogTable, Holds128HardwareIdsAnd82KernelKeys) {
    std::set<std::string> hardwareIds;
    std::set<std::string> kernelKeys;
    for (const CatalogEntry* row : Rows()) {
        hardwareIds.insert(row->hardwareId);
        kernelKeys.insert(row->kernelKey);
    }
    EXPECT_EQ(hardwareIds.size(), 128u);
    EXPECT_EQ(kernelKeys.size(), 82u);
}

TEST(CatalogTable, ThreeProductIdsAndTwoModelNamesAppearTwice) {
    std::map<uint32_t, int> productIds;
    std::map<std::string, int> models;
    for (const CatalogEntry* row : Rows()) {
        ++productIds[row->productId];
        ++models[row->model];
    }
    int sharedIds = 0;
    for (const auto& item : productIds) {
        EXPECT_LE(item.second, 2) << item.first;
        sharedIds += item.second == 2 ? 1 : 0;
    }
    EXPECT_EQ(sharedIds, 3);
    EXPECT_EQ(CountWithTally(models, 2), 2);
    EXPECT_EQ(CountWithTally(models, 1), 146);
}

TEST(CatalogTable, LongestValuesFitTheirDocumentedWidths) {
    std::size_t widths[7] = {};
    for (const CatalogEntry* row : Rows()) {
        const char* texts[7] = {row->model,   row->infRelativePath, row->hardwareId,
                                row->userDll, row->kernelDriver,    row->kernelKey,
                                row->busType};
        for (int field = 0; field < 7; ++field) {
            widths[field] = std::max(widths[field], std::string_view(texts[field]).size());
        }
    }
    EXPECT_EQ(widths[0], 12u) << "model";
    EXPECT_EQ(widths[1], 37u) << "INF relative path";
    EXPECT_EQ(widths[2], 37u) << "hardware ID";
    EXPECT_EQ(widths[3], 14u) << "library";
    EXPECT_EQ(widths[4], 15u) << "kernel driver";
    EXPECT_EQ(widths[5], 11u) << "kernel key";
    EXPECT_EQ(widths[6], 4u) << "bus type";
}

TEST(CatalogTable, InfPathsAreOneFolderAndAnInfNameEndingInS) {
    for (const CatalogEntry* row : Rows()) {
        const std::string_view path = row->infRelativePath;
        const std::size_t slash = path.find('\\');
        ASSERT_NE(slash, std::string_view::npos) << path;
        EXPECT_GT(slash, 0u) << path;
        EXPECT_EQ(path.find('\\', slash + 1), std::string_view::npos) << path;
        const std::string name = InfName(*row);
        // Pre-install records are named after the file name less "s.inf", in 16 bytes.
        EXPECT_EQ(name.substr(name.size() - 5), "s.inf") << path;
        EXPECT_LT(name.size() - 5, 16u) << path;
    }
}

TEST(CatalogHardwareIds, PciFamilyIdsNameTheVendorAndFourHexDigits) {
    int withSubsystem = 0;
    int otherEnumerator = 0;
    const std::string_view vendor = "PCI\\VEN_5AE3&DEV_";
    for (const CatalogEntry* row : Rows()) {
        const std::string_view bus = row->busType;
        if (bus != "PCI" && bus != "PCIE") {
            continue;
        }
        const std::string_view id = row->hardwareId;
        if (!StartsWith(id, vendor)) {
            EXPECT_EQ(bus, "PCI") << id;
            const std::size_t slash = id.find('\\');
            ASSERT_NE(slash, std::string_view::npos) << id;
            EXPECT_NE(UpperCase(id), std::string(id)) << "stored in mixed case: " << id;
            ++otherEnumerator;
            continue;
        }
        ASSERT_GE(id.size(), vendor.size() + 4) << id;
        EXPECT_TRUE(IsHex(id.substr(vendor.size(), 4))) << id;
        const std::string_view rest = id.substr(vendor.size() + 4);
        if (!rest.empty()) {
            EXPECT_EQ(rest.size(), 16u) << id;
            EXPECT_TRUE(StartsWith(rest, "&SUBSYS_")) << id;
            EXPECT_TRUE(IsHex(rest.substr(8))) << id;
            ++withSubsystem;
        }
    }
    EXPECT_EQ(withSubsystem, 3);
    EXPECT_EQ(otherEnumerator, 1);
}

TEST(CatalogHardwareIds, UsbIdsNameTheVendorWithRevisionOrInterfaceSuffixes) {
    int withRevision = 0;
    int firstInterface = 0;
    const std::string_view vendor = "USB\\VID_2E5B&PID_";
    for (const CatalogEntry* row : Rows()) {
        if (std::string_view(row->busType) != "USB") {
            continue;
        }
        const std::string_view id = row->hardwareId;
        ASSERT_TRUE(StartsWith(id, vendor)) << id;
        ASSERT_GE(id.size(), vendor.size() + 4) << id;
        EXPECT_TRUE(IsHex(id.substr(vendor.size(), 4))) << id;
        const std::string_view rest = id.substr(vendor.size() + 4);
        if (rest == "&MI_00") {
            ++firstInterface;
        } else if (!rest.empty()) {
            EXPECT_EQ(rest.size(), 9u) << id;
            EXPECT_TRUE(StartsWith(rest, "&REV_")) << id;
            EXPECT_TRUE(IsDecimal(rest.substr(5))) << id;
            ++withRevision;
        }
    }
    EXPECT_EQ(withRevision, 3);
    EXPECT_EQ(firstInterface, 6);
}

TEST(CatalogHardwareIds, IsaIdIsTheModelWithoutItsHyphen) {
    for (const CatalogEntry* row : Rows()) {
        if (std::string_view(row->busType) != "ISA") {
            continue;
        }
        std::string model = row->model;
        const std::size_t hyphen = model.find('-');
        ASSERT_NE(hyphen, std::string::npos) << model;
        model.erase(hyphen, 1);
        EXPECT_EQ(model, row->hardwareId);
    }
}

TEST(CatalogHardwareIds, ShorterContainedIdStandsBeforeTheLongerOne) {
    std::map<std::string, std::size_t> firstRow;
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        firstRow.emplace(UpperCase(Row(i).hardwareId), i);
    }
    int containedPairs = 0;
    for (const auto& shorter : firstRow) {
        for (const auto& longer : firstRow) {
            if (shorter.first != longer.first && Contains(longer.first, shorter.first)) {
                ++containedPairs;
                EXPECT_LT(shorter.second, longer.second) << shorter.first << " in " << longer.first;
            }
        }
    }
    // Model codes that prefix longer ones and IDs with suffixes both occur in the table.
    EXPECT_GE(containedPairs, 2);
}

TEST(CatalogKernelKeys, NoKeyIsContainedInAnother) {
    std::set<std::string> keys;
    for (const CatalogEntry* row : Rows()) {
        keys.insert(UpperCase(row->kernelKey));
    }
    for (const std::string& key : keys) {
        for (const std::string& other : keys) {
            EXPECT_TRUE(key == other || !Contains(other, key)) << key << " in " << other;
        }
    }
}

TEST(CatalogKernelKeys, EndInCapitalSExceptOneRowInLowerCase) {
    int lowerCase = 0;
    for (const CatalogEntry* row : Rows()) {
        const char last = std::string_view(row->kernelKey).back();
        EXPECT_TRUE(last == 'S' || last == 's') << row->kernelKey;
        lowerCase += last == 's' ? 1 : 0;
    }
    EXPECT_EQ(lowerCase, 1);
}

TEST(CatalogInfNames, NoInfFileNameIsContainedInAnother) {
    std::set<std::string> names;
    for (const CatalogEntry* row : Rows()) {
        names.insert(UpperCase(InfName(*row)));
    }
    for (const std::string& name : names) {
        for (const std::string& other : names) {
            EXPECT_TRUE(name == other || !Contains(other, name)) << name << " in " << other;
        }
    }
}

// Most rows follow the naming patterns and a few do not, so code must read every column as
// stored: counted over all 150 rows, a pattern holds for most and breaks for one to ten.
struct PatternCount {
    int holds = 0;
    int breaks = 0;
};

template <typename Holds>
PatternCount CountPattern(Holds holds) {
    PatternCount count;
    for (const CatalogEntry* row : Rows()) {
        (holds(*row) ? count.holds : count.breaks) += 1;
    }
    return count;
}

void ExpectMostHoldAndAFewBreak(const PatternCount& count) {
    EXPECT_GE(count.holds, 130);
    EXPECT_GE(count.breaks, 1);
    EXPECT_LE(count.breaks, 10);
}

TEST(CatalogPatterns, KernelDriverIsUsuallyTheKeyWithSys) {
    ExpectMostHoldAndAFewBreak(CountPattern([](const CatalogEntry& row) {
        return SameIgnoringCase(row.kernelDriver, std::string(row.kernelKey) + ".sys");
    }));
}

TEST(CatalogPatterns, LibraryIsUsuallyTheKeyLessItsLastLetterWithDll) {
    ExpectMostHoldAndAFewBreak(CountPattern([](const CatalogEntry& row) {
        return SameIgnoringCase(row.userDll, WithoutLast(row.kernelKey, 1) + ".dll");
    }));
}

TEST(CatalogPatterns, InfNameIsUsuallyTheDriverBaseNameWithInf) {
    ExpectMostHoldAndAFewBreak(CountPattern([](const CatalogEntry& row) {
        return SameIgnoringCase(InfName(row), WithoutLast(row.kernelDriver, 4) + ".inf");
    }));
}

}  // namespace
