// Each lookup's match rule, its first-row choice and its behaviour at the end of the table.
#include "catalog/catalog.h"
#include "catalog/text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

namespace {

const CatalogEntry* const kDemo = &kDeviceCatalog[0];
const CatalogEntry* const kPx1001 = &kDeviceCatalog[1];

// The first row, in table order, that satisfies a plain predicate written in the test.
template <typename Pred>
const CatalogEntry* FirstWhere(Pred pred) {
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        if (pred(kDeviceCatalog[i])) {
            return &kDeviceCatalog[i];
        }
    }
    return nullptr;
}

const CatalogEntry* MixedCaseRow() {
    return FirstWhere(
        [](const CatalogEntry& row) { return UpperCase(row.hardwareId) != row.hardwareId; });
}

std::string InfName(const CatalogEntry& row) {
    const std::string path = row.infRelativePath;
    return path.substr(path.find('\\') + 1);
}

TEST(CatalogFindByHardwareIdContaining, FindsTheDemoRowForDemoInAnyCaseAndForEmptyText) {
    EXPECT_EQ(CatalogFindByHardwareIdContaining("DEMO"), kDemo);
    EXPECT_EQ(CatalogFindByHardwareIdContaining("demo"), kDemo);
    EXPECT_EQ(CatalogFindByHardwareIdContaining("DeMo"), kDemo);
    EXPECT_EQ(CatalogFindByHardwareIdContaining(""), kDemo);
}

TEST(CatalogFindByHardwareIdContaining, MatchesALeadingPartInAnyCase) {
    EXPECT_EQ(CatalogFindByHardwareIdContaining("PCI\\VEN_5AE3&DEV_1001"), kPx1001);
    EXPECT_EQ(CatalogFindByHardwareIdContaining("pci\\ven_5ae3&dev_1001"), kPx1001);
    // Every PCI board carries the vendor part, and PX-1001 is the first PCI row.
    EXPECT_EQ(CatalogFindByHardwareIdContaining("PCI\\VEN_5AE3"), kPx1001);
}

TEST(CatalogFindByHardwareIdContaining, FindsNothingForUnknownOrNullText) {
    EXPECT_EQ(CatalogFindByHardwareIdContaining("PCI\\VEN_5AE3&DEV_1001&SUBSYS_FFFFFFFFX"),
              nullptr);
    EXPECT_EQ(CatalogFindByHardwareIdContaining("USB\\VID_0000"), nullptr);
    EXPECT_EQ(CatalogFindByHardwareIdContaining(nullptr), nullptr);
}

TEST(CatalogFindByHardwareIdContaining, ShorterModelCodeFindsItsOwnRowLongerCodeFindsTheLonger) {
    int pairs = 0;
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        const std::string shorter = UpperCase(kDeviceCatalog[i].hardwareId);
        for (std::size_t j = 0; j < kCatalogRowCount; ++j) {
            const std::string longer = UpperCase(kDeviceCatalog[j].hardwareId);
            if (shorter == longer || !Contains(longer, shorter)) {
                continue;
            }
            ++pairs;
            const CatalogEntry* found = CatalogFindByHardwareIdContaining(shorter.c_str());
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(UpperCase(found->hardwareId), shorter) << "given " << shorter;
            found = CatalogFindByHardwareIdContaining(longer.c_str());
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(UpperCase(found->hardwareId), longer) << "given " << longer;
        }
    }
    EXPECT_GT(pairs, 0);
}

TEST(CatalogFindByHardwareIdContaining, IdSharedByVariantsFindsTheFirstVariant) {
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        const CatalogEntry& row = kDeviceCatalog[i];
        const CatalogEntry* first = FirstWhere([&](const CatalogEntry& other) {
            return Contains(UpperCase(other.hardwareId), UpperCase(row.hardwareId));
        });
        EXPECT_EQ(CatalogFindByHardwareIdContaining(row.hardwareId), first) << row.model;
    }
}

TEST(CatalogFindByHardwareIdEqual, NeedsTheWholeIdInAnyCase) {
    EXPECT_EQ(CatalogFindByHardwareIdEqual("PCI\\VEN_5AE3&DEV_1001"), kPx1001);
    EXPECT_EQ(CatalogFindByHardwareIdEqual("pci\\ven_5ae3&dev_1001"), kPx1001);
    EXPECT_EQ(CatalogFindByHardwareIdEqual("demo"), kDemo);
    EXPECT_EQ(CatalogFindByHardwareIdEqual("PCI\\VEN_5AE3&DEV_100"), nullptr);
    EXPECT_EQ(CatalogFindByHardwareIdEqual("PCI\\VEN_5AE3&DEV_1001&REV_01"), nullptr);
    EXPECT_EQ(CatalogFindByHardwareIdEqual(""), nullptr);
    EXPECT_EQ(CatalogFindByHardwareIdEqual(nullptr), nullptr);
}

TEST(CatalogFindByHardwareIdEqual, FindsTheMixedCaseRowWhenBothSidesAreUpperCased) {
    const CatalogEntry* mixed = MixedCaseRow();
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(CatalogFindByHardwareIdEqual(UpperCase(mixed->hardwareId).c_str()), mixed);
}

TEST(CatalogFindByDeviceHardwareIdPrefix, MatchesRowIdsThatBeginTheDeviceId) {
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix("PCI\\VEN_5AE3&DEV_1001&SUBSYS_00000000&REV_01"),
              kPx1001);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix("pci\\ven_5ae3&dev_1001&rev_01"), kPx1001);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix("DEMO"), kDemo);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix("PCI\\VEN_5AE3&DEV_100"), nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix("ACPI\\PCI\\VEN_5AE3&DEV_1001"), nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix(""), nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix(nullptr), nullptr);
}

TEST(CatalogFindByDeviceHardwareIdPrefix, NeverMatchesTheRowStoredInMixedCase) {
    const CatalogEntry* mixed = MixedCaseRow();
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdPrefix(mixed->hardwareId), nullptr);
}

TEST(CatalogFindNextByDeviceHardwareIdPrefix, WalksOnToLaterRowsWithTheSameId) {
    // PXL-style variants repeat an earlier row's ID; the walk reaches each of them in order.
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        const CatalogEntry& row = kDeviceCatalog[i];
        if (UpperCase(row.hardwareId) != row.hardwareId) {
            continue;
        }
        const CatalogEntry* found = CatalogFindByDeviceHardwareIdPrefix(row.hardwareId);
        while (found != nullptr && found < &row) {
            found = CatalogFindNextByDeviceHardwareIdPrefix(row.hardwareId, found);
        }
        EXPECT_EQ(found, &row) << row.model;
    }
}

TEST(CatalogFindNextByDeviceHardwareIdPrefix, StopsAtTheEndRowAndRefusesForeignRows) {
    const CatalogEntry* last = &kDeviceCatalog[kCatalogRowCount - 1];
    EXPECT_EQ(CatalogFindNextByDeviceHardwareIdPrefix(last->hardwareId, last), nullptr);
    const CatalogEntry foreign = kDeviceCatalog[0];
    EXPECT_EQ(CatalogFindNextByDeviceHardwareIdPrefix("DEMO", &foreign), nullptr);
    EXPECT_EQ(CatalogFindNextByDeviceHardwareIdPrefix("DEMO", nullptr), kDemo);
}

TEST(CatalogFindByDeviceHardwareIdEqualAsStored, NeedsTheWholeIdAfterUpperCasingTheDevice) {
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored("PCI\\VEN_5AE3&DEV_1001"), kPx1001);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored("pci\\ven_5ae3&dev_1001"), kPx1001);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored("DEMO"), kDemo);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored("PCI\\VEN_5AE3&DEV_1001&REV_01"), nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored("PCI\\VEN_5AE3"), nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored(nullptr), nullptr);
}

TEST(CatalogFindByDeviceHardwareIdEqualAsStored, NeverMatchesTheRowStoredInMixedCase) {
    const CatalogEntry* mixed = MixedCaseRow();
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored(mixed->hardwareId), nullptr);
    EXPECT_EQ(CatalogFindByDeviceHardwareIdEqualAsStored(UpperCase(mixed->hardwareId).c_str()),
              nullptr);
}

TEST(CatalogFindByKernelKey, MatchesAPartOfAKeyInAnyCase) {
    EXPECT_EQ(CatalogFindByKernelKey("TolDemoS"), kDemo);
    EXPECT_EQ(CatalogFindByKernelKey("toldemos"), kDemo);
    EXPECT_EQ(CatalogFindByKernelKey("TOLPX10S"), kPx1001);
    EXPECT_EQ(CatalogFindByKernelKey("tolpx10"), kPx1001);
    EXPECT_EQ(CatalogFindByKernelKey("TolPx10S.sys"), nullptr);
    EXPECT_EQ(CatalogFindByKernelKey("NoSuchKeyS"), nullptr);
    EXPECT_EQ(CatalogFindByKernelKey(nullptr), nullptr);
}

TEST(CatalogFindByKernelKey, EmptyKeyIsContainedInTheDemoRowsKey) {
    EXPECT_EQ(CatalogFindByKernelKey(""), kDemo);
    EXPECT_EQ(CatalogFindByKernelKeyUnconverted(""), kDemo);
}

TEST(CatalogFindByKernelKey, EveryKeyFindsTheFirstRowOfItsFamily) {
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        const CatalogEntry& row = kDeviceCatalog[i];
        const CatalogEntry* first = FirstWhere([&](const CatalogEntry& other) {
            return UpperCase(other.kernelKey) == UpperCase(row.kernelKey);
        });
        EXPECT_EQ(CatalogFindByKernelKey(row.kernelKey), first) << row.kernelKey;
        EXPECT_EQ(CatalogFindByKernelKeyUnconverted(UpperCase(row.kernelKey).c_str()), first)
            << row.kernelKey;
    }
}

TEST(CatalogFindByKernelKeyUnconverted, MatchesOnlyAnUpperCaseKey) {
    EXPECT_EQ(CatalogFindByKernelKeyUnconverted("TOLDEMOS"), kDemo);
    EXPECT_EQ(CatalogFindByKernelKeyUnconverted("TOLPX10S"), kPx1001);
    EXPECT_EQ(CatalogFindByKernelKeyUnconverted("TolPx10S"), nullptr);
    EXPECT_EQ(CatalogFindByKernelKeyUnconverted("toldemos"), nullptr);
    EXPECT_EQ(CatalogFindByKernelKeyUnconverted(nullptr), nullptr);
}

TEST(CatalogFindByInfFileNameInPath, FindsTheDemoRowForTolDemosInfInAnyCase) {
    EXPECT_EQ(CatalogFindByInfFileNameInPath("C:\\Packages\\Demo\\TolDemos.inf"), kDemo);
    EXPECT_EQ(CatalogFindByInfFileNameInPath("c:\\packages\\demo\\toldemos.inf"), kDemo);
    EXPECT_EQ(CatalogFindByInfFileNameInPath("D:\\X\\TOLDEMOS.INF"), kDemo);
    EXPECT_EQ(CatalogFindByInfFileNameInPath("toldemos.Inf"), kDemo);
}

TEST(CatalogFindByInfFileNameInPath, FindsNothingForOtherNames) {
    EXPECT_EQ(CatalogFindByInfFileNameInPath("C:\\Packages\\Demo\\Other.inf"), nullptr);
    EXPECT_EQ(CatalogFindByInfFileNameInPath("C:\\Packages\\Demo\\TolDemos.in"), nullptr);
    EXPECT_EQ(CatalogFindByInfFileNameInPath(""), nullptr);
    EXPECT_EQ(CatalogFindByInfFileNameInPath(nullptr), nullptr);
}

TEST(CatalogFindByInfFileNameInPath, EveryPackagePathFindsTheFirstRowOfThatInf) {
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        const CatalogEntry& row = kDeviceCatalog[i];
        const std::string path = std::string("C:\\Drivers\\") + row.infRelativePath;
        const CatalogEntry* first = FirstWhere([&](const CatalogEntry& other) {
            return UpperCase(InfName(other)) == UpperCase(InfName(row));
        });
        EXPECT_EQ(CatalogFindByInfFileNameInPath(path.c_str()), first) << path;
        EXPECT_EQ(CatalogFindByInfFileNameInPath(UpperCase(path).c_str()), first) << path;
    }
}

TEST(CatalogFindByStoredInfFileName, MatchesTheNameAPreinstallRecordHolds) {
    EXPECT_EQ(CatalogFindByStoredInfFileName("TolDemos.inf"), kDemo);
    EXPECT_EQ(CatalogFindByStoredInfFileName("toldemos.INF"), kDemo);
    EXPECT_EQ(CatalogFindByStoredInfFileName("TolPx10s.inf"), kPx1001);
    EXPECT_EQ(CatalogFindByStoredInfFileName("PX1001\\TolPx10s.inf"), kPx1001);
    EXPECT_EQ(CatalogFindByStoredInfFileName("oem12.inf"), nullptr);
    EXPECT_EQ(CatalogFindByStoredInfFileName(nullptr), nullptr);
}

TEST(CatalogFindByStoredInfFileName, EmptyNameSelectsTheDemoRow) {
    EXPECT_EQ(CatalogFindByStoredInfFileName(""), kDemo);
}

TEST(CatalogFindByProductId, FindsTheDemoDeviceAndPx1001) {
    EXPECT_EQ(CatalogFindByProductId(0), kDemo);
    EXPECT_EQ(CatalogFindByProductId(0x0101), kPx1001);
}

TEST(CatalogFindByProductId, SharedProductIdYieldsTheEarlierRow) {
    std::map<uint32_t, std::size_t> firstRow;
    int shared = 0;
    for (std::size_t i = 0; i < kCatalogRowCount; ++i) {
        const uint32_t id = kDeviceCatalog[i].productId;
        if (!firstRow.emplace(id, i).second) {
            ++shared;
            EXPECT_EQ(CatalogFindByProductId(id), &kDeviceCatalog[firstRow[id]]) << id;
        }
    }
    EXPECT_EQ(shared, 3);
}

TEST(CatalogFindByProductId, NeverYieldsTheEndRow) {
    EXPECT_EQ(CatalogFindByProductId(0xFFFF), nullptr);
    EXPECT_EQ(CatalogFindByProductId(0x10000), nullptr);
    EXPECT_EQ(CatalogFindByProductId(0xFFFFFFFF), nullptr);
}

TEST(CatalogInfFileName, IsTheNameAfterTheFirstBackslashAsStored) {
    EXPECT_EQ(CatalogInfFileName(*kDemo), "TolDemos.inf");
    EXPECT_EQ(CatalogInfFileName(*kPx1001), "TolPx10s.inf");
}

TEST(CatalogInfFileName, TakesTheWholePathWithoutABackslash) {
    CatalogEntry row = kDeviceCatalog[0];
    row.infRelativePath = "Loose.inf";
    EXPECT_EQ(CatalogInfFileName(row), "Loose.inf");
    row.infRelativePath = "A\\b\\c.inf";
    EXPECT_EQ(CatalogInfFileName(row), "b\\c.inf");
    row.infRelativePath = "Folder\\";
    EXPECT_EQ(CatalogInfFileName(row), "");
    EXPECT_EQ(CatalogInfFileName(kDeviceCatalog[kCatalogRowCount]), "");
}

}  // namespace
