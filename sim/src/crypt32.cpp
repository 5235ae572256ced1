// crypt32's certificate stores on the simulated machine: the system stores of the local machine
// and the current user, kept in machine.json as the DER bytes of their certificates.
//
// Windows lets anyone read LocalMachine stores but only an administrator write them; opening
// one for writing (the default) without rights fails with ERROR_ACCESS_DENIED.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "choke.h"
#include "crypt32_internal.h"
#include "machine.h"

namespace sim {
namespace {

using Bytes = std::vector<BYTE>;

struct Stores {
    // Keyed by "location\name" in lower case; SystemStore keeps the names as first written.
    std::map<std::string, SystemStore> byKey;
};

Stores& Raw() {
    static auto* stores = new Stores;
    return *stores;
}

Stores& S() {
    EnsureLoaded();
    return Raw();
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (BYTE b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0xF]);
    }
    return text;
}

Bytes FromHex(const std::string& text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

nlohmann::json SaveStores() {
    nlohmann::json stores = nlohmann::json::array();
    for (const auto& [key, store] : Raw().byKey) {
        nlohmann::json certificates = nlohmann::json::array();
        for (const Bytes& der : store.certificates) {
            certificates.push_back(Hex(der));
        }
        stores.push_back(
            {{"location", store.location}, {"name", store.name}, {"certificates", certificates}});
    }
    return stores.empty() ? nlohmann::json() : stores;
}

void LoadStores(const nlohmann::json& j) {
    Raw() = Stores{};
    if (!j.is_array()) {
        return;
    }
    for (const nlohmann::json& entry : j) {
        SystemStore store;
        store.location = entry.value("location", std::string());
        store.name = entry.value("name", std::string());
        for (const nlohmann::json& der : entry.value("certificates", nlohmann::json::array())) {
            store.certificates.push_back(FromHex(der.get<std::string>()));
        }
        Raw().byKey[Lower(store.location + "\\" + store.name)] = std::move(store);
    }
}

const bool registered = [] {
    RegisterSection({"certificates", LoadStores, SaveStores, [] { Raw() = Stores{}; }});
    return true;
}();

// An open store: which system store it shows and whether it may change it.
struct StoreHandle {
    std::string key;
    bool readOnly = false;
};

// A certificate context and everything its pointers point into.
struct Context {
    CERT_CONTEXT context = {};
    CERT_INFO info = {};
    Bytes encoded;
    Bytes serialLittleEndian;
    size_t position = 0;  // for a context of a store walk: the certificate's place in it
};

std::set<StoreHandle*>& OpenStores() {
    static auto* open = new std::set<StoreHandle*>;
    return *open;
}

std::map<const CERT_CONTEXT*, std::unique_ptr<Context>>& Contexts() {
    static auto* contexts = new std::map<const CERT_CONTEXT*, std::unique_ptr<Context>>;
    return *contexts;
}

StoreHandle* LookupStore(HCERTSTORE handle) {
    auto* store = static_cast<StoreHandle*>(handle);
    return OpenStores().count(store) != 0 ? store : nullptr;
}

Context* LookupContext(PCCERT_CONTEXT context) {
    auto it = Contexts().find(context);
    return it != Contexts().end() ? it->second.get() : nullptr;
}

// A new context over a copy of `der`, which must already have been parsed into `parsed`.
PCCERT_CONTEXT NewContext(const BYTE* der, size_t size, const ParsedCertificate& parsed,
                          HCERTSTORE store) {
    auto owned = std::make_unique<Context>();
    Context& c = *owned;
    c.encoded.assign(der, der + size);
    BYTE* base = c.encoded.data();
    c.info.dwVersion = parsed.version;
    // CERT_INFO carries the serial number least significant byte first.
    c.serialLittleEndian.assign(base + parsed.serial.start,
                                base + parsed.serial.start + parsed.serial.length);
    std::reverse(c.serialLittleEndian.begin(), c.serialLittleEndian.end());
    c.info.SerialNumber = {static_cast<DWORD>(c.serialLittleEndian.size()),
                           c.serialLittleEndian.data()};
    c.info.Issuer = {static_cast<DWORD>(parsed.issuer.length), base + parsed.issuer.start};
    c.info.Subject = {static_cast<DWORD>(parsed.subject.length), base + parsed.subject.start};
    c.context.dwCertEncodingType = X509_ASN_ENCODING;
    c.context.pbCertEncoded = base;
    c.context.cbCertEncoded = static_cast<DWORD>(c.encoded.size());
    c.context.pCertInfo = &c.info;
    c.context.hCertStore = store;
    const CERT_CONTEXT* key = &c.context;
    Contexts()[key] = std::move(owned);
    return key;
}

std::string StoreLocation(DWORD flags) {
    switch (flags & 0x00FF0000u) {
        case CERT_SYSTEM_STORE_LOCAL_MACHINE:
            return "LocalMachine";
        case CERT_SYSTEM_STORE_CURRENT_USER:
            return "CurrentUser";
        default:
            return "";
    }
}

DWORD DecodeString(std::string_view text, DWORD flags, Bytes& out, DWORD& skipped) {
    skipped = 0;
    if (flags == CRYPT_STRING_BASE64) {
        return DecodeBase64(text, out);
    }
    size_t start = 0, end = 0, skip = 0;
    if (DWORD e = FindPemBody(text, start, end, skip)) {
        return e;
    }
    skipped = static_cast<DWORD>(skip);
    return DecodeBase64(text.substr(start, end - start), out);
}

}  // namespace

std::vector<SystemStore> SystemStores() {
    std::vector<SystemStore> stores;
    for (const auto& [key, store] : S().byKey) {
        stores.push_back(store);
    }
    return stores;
}

}  // namespace sim

extern "C" {

BOOL WINAPI CryptStringToBinaryA(LPCSTR pszString, DWORD cchString, DWORD dwFlags, BYTE* pbBinary,
                                 DWORD* pcbBinary, DWORD* pdwSkip, DWORD* pdwFlags) {
    sim::ApiCall call("CryptStringToBinaryA");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    if (pszString == nullptr || pcbBinary == nullptr) {
        return sim::FailWith(ERROR_INVALID_PARAMETER);
    }
    if (dwFlags != CRYPT_STRING_BASE64HEADER && dwFlags != CRYPT_STRING_BASE64) {
        sim::NotModelled("CryptStringToBinaryA",
                         "formats other than Base64 with or without header");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    const size_t length = cchString != 0 ? cchString : std::strlen(pszString);
    sim::Bytes decoded;
    DWORD skipped = 0;
    if (DWORD e =
            sim::DecodeString(std::string_view(pszString, length), dwFlags, decoded, skipped)) {
        return sim::FailWith(e);
    }
    if (pbBinary != nullptr) {
        // The size stays as the caller gave it, as Wine leaves it.
        if (*pcbBinary < decoded.size()) {
            return sim::FailWith(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(pbBinary, decoded.data(), decoded.size());
    }
    *pcbBinary = static_cast<DWORD>(decoded.size());
    if (pdwSkip != nullptr) {
        *pdwSkip = skipped;
    }
    if (pdwFlags != nullptr) {
        *pdwFlags = dwFlags;
    }
    return TRUE;
}

HCERTSTORE WINAPI CertOpenStore(LPCSTR lpszStoreProvider, DWORD, HCRYPTPROV_LEGACY, DWORD dwFlags,
                                const void* pvPara) {
    const char* name = static_cast<const char*>(pvPara);
    sim::ApiCall call("CertOpenStore", name != nullptr ? name : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    const std::string location = sim::StoreLocation(dwFlags);
    const DWORD known = 0x00FF0000u | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG;
    if (lpszStoreProvider != CERT_STORE_PROV_SYSTEM_A || location.empty() ||
        (dwFlags & ~known) != 0) {
        sim::NotModelled("CertOpenStore",
                         "providers, locations and flags other than system stores");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool readOnly = (dwFlags & CERT_STORE_READONLY_FLAG) != 0;
    if (location == "LocalMachine" && !readOnly && !sim::Settings().elevated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const std::string key = sim::Lower(location + "\\" + name);
    auto& stores = sim::S().byKey;
    if (stores.count(key) == 0) {
        if ((dwFlags & CERT_STORE_OPEN_EXISTING_FLAG) != 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        stores[key] = sim::SystemStore{location, name, {}};
    }
    auto* store = new sim::StoreHandle{key, readOnly};
    sim::OpenStores().insert(store);
    return store;
}

BOOL WINAPI CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags) {
    sim::ApiCall call("CertCloseStore");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    if (hCertStore == nullptr) {
        return TRUE;
    }
    if ((dwFlags & ~static_cast<DWORD>(CERT_CLOSE_STORE_FORCE_FLAG)) != 0) {
        sim::NotModelled("CertCloseStore", "checking for contexts still open");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    sim::StoreHandle* store = sim::LookupStore(hCertStore);
    if (store == nullptr) {
        return sim::FailWith(ERROR_INVALID_HANDLE);
    }
    sim::OpenStores().erase(store);
    delete store;
    return TRUE;
}

PCCERT_CONTEXT WINAPI CertCreateCertificateContext(DWORD dwCertEncodingType,
                                                   const BYTE* pbCertEncoded, DWORD cbCertEncoded) {
    sim::ApiCall call("CertCreateCertificateContext");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if ((dwCertEncodingType & X509_ASN_ENCODING) == 0 || pbCertEncoded == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    sim::ParsedCertificate parsed;
    if (DWORD e = sim::ParseCertificate(pbCertEncoded, cbCertEncoded, parsed)) {
        SetLastError(e);
        return nullptr;
    }
    return sim::NewContext(pbCertEncoded, cbCertEncoded, parsed, nullptr);
}

BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
    sim::ApiCall call("CertFreeCertificateContext");
    if (pCertContext != nullptr) {
        sim::Contexts().erase(pCertContext);
    }
    return TRUE;
}

BOOL WINAPI CertAddCertificateContextToStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pCertContext,
                                             DWORD dwAddDisposition,
                                             PCCERT_CONTEXT* ppStoreContext) {
    sim::ApiCall call("CertAddCertificateContextToStore");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    sim::StoreHandle* handle = sim::LookupStore(hCertStore);
    sim::Context* context = sim::LookupContext(pCertContext);
    if (handle == nullptr || context == nullptr) {
        return sim::FailWith(ERROR_INVALID_PARAMETER);
    }
    if (dwAddDisposition < CERT_STORE_ADD_NEW || dwAddDisposition > CERT_STORE_ADD_ALWAYS) {
        sim::NotModelled("CertAddCertificateContextToStore", "dispositions beyond ADD_ALWAYS");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    if (ppStoreContext != nullptr) {
        sim::NotModelled("CertAddCertificateContextToStore", "returning the store's context");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    sim::SystemStore& store = sim::S().byKey[handle->key];
    const std::string args = store.location + "\\" + store.name +
                             ",disposition=" + std::to_string(dwAddDisposition) +
                             ",bytes=" + std::to_string(context->encoded.size());
    if (handle->readOnly) {
        sim::Journal("CertAddCertificateContextToStore", args, FALSE);
        return sim::FailWith(ERROR_ACCESS_DENIED);
    }
    // The same certificate is the same encoded bytes.
    auto& list = store.certificates;
    auto existing = std::find(list.begin(), list.end(), context->encoded);
    if (existing != list.end() && dwAddDisposition != CERT_STORE_ADD_ALWAYS) {
        if (dwAddDisposition == CERT_STORE_ADD_NEW) {
            sim::Journal("CertAddCertificateContextToStore", args, FALSE);
            return sim::FailWith(CRYPT_E_EXISTS);
        }
        if (dwAddDisposition == CERT_STORE_ADD_USE_EXISTING) {
            sim::Journal("CertAddCertificateContextToStore", args + ",kept existing", TRUE);
            return TRUE;
        }
        list.erase(existing);
    }
    list.push_back(context->encoded);
    sim::MarkDirty("machine");
    sim::Journal("CertAddCertificateContextToStore", args + ",added", TRUE);
    return TRUE;
}

PCCERT_CONTEXT WINAPI CertEnumCertificatesInStore(HCERTSTORE hCertStore,
                                                  PCCERT_CONTEXT pPrevCertContext) {
    sim::ApiCall call("CertEnumCertificatesInStore");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    sim::StoreHandle* handle = sim::LookupStore(hCertStore);
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The previous context says where the walk is; it is freed, as the caller expects.
    size_t next = 0;
    if (pPrevCertContext != nullptr) {
        sim::Context* previous = sim::LookupContext(pPrevCertContext);
        if (previous == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        next = previous->position + 1;
        sim::Contexts().erase(pPrevCertContext);
    }
    const auto& list = sim::S().byKey[handle->key].certificates;
    if (next >= list.size()) {
        SetLastError(CRYPT_E_NOT_FOUND);
        return nullptr;
    }
    sim::ParsedCertificate parsed;
    sim::ParseCertificate(list[next].data(), list[next].size(), parsed);
    PCCERT_CONTEXT context = sim::NewContext(list[next].data(), list[next].size(), parsed, handle);
    sim::LookupContext(context)->position = next;
    return context;
}

}  // extern "C"
