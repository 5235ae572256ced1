#include "catalog/catalog.h"

#include "catalog/text.h"

namespace {

// Each side may be folded to upper case on the fly, so a lookup upper-cases its given text
// once and compares the rows' constant strings without building a copy of every row.
struct Side {
    std::string_view text;
    bool fold;
};

char At(const Side& side, std::size_t i) {
    return side.fold ? UpperCaseChar(side.text[i]) : side.text[i];
}

bool SameAt(const Side& haystack, std::size_t start, const Side& needle) {
    for (std::size_t i = 0; i < needle.text.size(); ++i) {
        if (At(haystack, start + i) != At(needle, i)) {
            return false;
        }
    }
    return true;
}

bool FoldedContains(const Side& haystack, const Side& needle) {
    if (needle.text.size() > haystack.text.size()) {
        return false;
    }
    const std::size_t last = haystack.text.size() - needle.text.size();
    for (std::size_t start = 0; start <= last; ++start) {
        if (SameAt(haystack, start, needle)) {
            return true;
        }
    }
    return false;
}

bool FoldedEqual(const Side& a, const Side& b) {
    return a.text.size() == b.text.size() && SameAt(a, 0, b);
}

// Every lookup is this walk: from `first` in table order, stopping at the end row.
template <typename Match>
const CatalogEntry* FirstRowFrom(const CatalogEntry* first, Match match) {
    for (const CatalogEntry* row = first; !CatalogIsEndRow(*row); ++row) {
        if (match(*row)) {
            return row;
        }
    }
    return nullptr;
}

template <typename Match>
const CatalogEntry* FirstRow(Match match) {
    return FirstRowFrom(kDeviceCatalog, match);
}

bool IsTableRow(const CatalogEntry* row) {
    return row >= kDeviceCatalog && row < kDeviceCatalog + kCatalogRowCount;
}

// Row text upper-cased contains the given text, which the caller has prepared.
const CatalogEntry* FirstRowFieldContaining(const char* CatalogEntry::*field,
                                            std::string_view given) {
    return FirstRow([&](const CatalogEntry& row) {
        return FoldedContains({row.*field, true}, {given, false});
    });
}

}  // namespace

const CatalogEntry* CatalogFindByHardwareIdContaining(const char* hardwareIdPart) {
    if (hardwareIdPart == nullptr) {
        return nullptr;
    }
    return FirstRowFieldContaining(&CatalogEntry::hardwareId, UpperCase(hardwareIdPart));
}

const CatalogEntry* CatalogFindByHardwareIdEqual(const char* hardwareId) {
    if (hardwareId == nullptr) {
        return nullptr;
    }
    const std::string given = UpperCase(hardwareId);
    return FirstRow([&](const CatalogEntry& row) {
        return FoldedEqual({row.hardwareId, true}, {given, false});
    });
}

const CatalogEntry* CatalogFindByDeviceHardwareIdPrefix(const char* deviceHardwareId) {
    return CatalogFindNextByDeviceHardwareIdPrefix(deviceHardwareId, nullptr);
}

const CatalogEntry* CatalogFindNextByDeviceHardwareIdPrefix(const char* deviceHardwareId,
                                                            const CatalogEntry* after) {
    if (deviceHardwareId == nullptr || (after != nullptr && !IsTableRow(after))) {
        return nullptr;
    }
    const std::string device = UpperCase(deviceHardwareId);
    const CatalogEntry* first = after == nullptr ? kDeviceCatalog : after + 1;
    return FirstRowFrom(first, [&](const CatalogEntry& row) {
        const std::string_view stored = row.hardwareId;
        return device.compare(0, stored.size(), stored) == 0;
    });
}

const CatalogEntry* CatalogFindByDeviceHardwareIdEqualAsStored(const char* deviceHardwareId) {
    if (deviceHardwareId == nullptr) {
        return nullptr;
    }
    const std::string device = UpperCase(deviceHardwareId);
    return FirstRow([&](const CatalogEntry& row) { return device == row.hardwareId; });
}

const CatalogEntry* CatalogFindByKernelKey(const char* kernelKey) {
    if (kernelKey == nullptr) {
        return nullptr;
    }
    return FirstRowFieldContaining(&CatalogEntry::kernelKey, UpperCase(kernelKey));
}

const CatalogEntry* CatalogFindByKernelKeyUnconverted(const char* kernelKey) {
    if (kernelKey == nullptr) {
        return nullptr;
    }
    return FirstRowFieldContaining(&CatalogEntry::kernelKey, kernelKey);
}

const CatalogEntry* CatalogFindByInfFileNameInPath(const char* infPath) {
    if (infPath == nullptr) {
        return nullptr;
    }
    const std::string path = UpperCase(infPath);
    return FirstRow([&](const CatalogEntry& row) {
        return FoldedContains({path, false}, {CatalogInfFileName(row), true});
    });
}

const CatalogEntry* CatalogFindByStoredInfFileName(const char* infFileName) {
    if (infFileName == nullptr) {
        return nullptr;
    }
    return FirstRowFieldContaining(&CatalogEntry::infRelativePath, UpperCase(infFileName));
}

const CatalogEntry* CatalogFindByProductId(uint32_t productId) {
    return FirstRow([&](const CatalogEntry& row) { return row.productId == productId; });
}

std::string_view CatalogInfFileName(const CatalogEntry& row) {
    if (row.infRelativePath == nullptr) {
        return {};
    }
    const std::string_view path = row.infRelativePath;
    const std::size_t slash = path.find('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
