// The decisions of the settings store and the folder routines that need no
// Windows: the table of known DWORD settings and how a stored number becomes a
// getter's result, the capacity checks of the folder paths, and bounded text
// handling in caller buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vr::settings {

// Where a setting lives.
enum class Hive : std::uint8_t {
    Machine,
    User,
    MachineInServerMode,  // machine hive in server mode, user hive otherwise
};

// How a getter turns the stored number into its result.
enum class Rule : std::uint8_t {
    NonZero,  // any nonzero number gives 1
    EqualsOne,  // 1 gives 1, any other number 0
    AsStored,  // the number itself, 0 included
    NonZeroElseFallback,  // the number when nonzero; 0 gives the fallback
};

struct DwordSetting {
    const wchar_t* name;
    Hive hive;
    Rule rule;
    std::uint32_t fallback;  // the result when the value cannot be read
};

inline constexpr DwordSetting kEnableUserAuth{L"SS_EnableUserAuth", Hive::Machine, Rule::NonZero, 1};
inline constexpr DwordSetting kCoverBarcode{L"cover_barcode", Hive::Machine, Rule::EqualsOne, 0};
inline constexpr DwordSetting kIgnoreCert{L"SS_IgnoreCert", Hive::User, Rule::NonZero, 1};
inline constexpr DwordSetting kAlwaysUseNtlmProxy{L"Proxy_AlwaysUseNTLMProxyForServerIntegrationMode", Hive::User,
                                                  Rule::EqualsOne, 0};
inline constexpr DwordSetting kLitechTimeout{L"LitechTimeout", Hive::User, Rule::AsStored, 0};
inline constexpr DwordSetting kPostRenderEndJobTimeout{L"PostRenderEndJobTimeoutInSeconds", Hive::Machine,
                                                       Rule::AsStored, 0};
inline constexpr DwordSetting kSessions{L"Sessions", Hive::Machine, Rule::NonZeroElseFallback, 100};
inline constexpr DwordSetting kOverrideColorSettings{L"VRC_OverrideColorSettings", Hive::User, Rule::EqualsOne, 1};
inline constexpr DwordSetting kUseRawPrinterAttribs{L"VRC_UseRawPIAttribs", Hive::Machine, Rule::EqualsOne, 0};
inline constexpr DwordSetting kPluginCacheCount{L"SS_PluginCacheCount", Hive::Machine, Rule::AsStored, 5};
inline constexpr DwordSetting kPluginCacheEnabled{L"PluginCacheEnabled", Hive::Machine, Rule::EqualsOne, 0};
inline constexpr DwordSetting kProxyEnabled{L"ProxyEnabled", Hive::MachineInServerMode, Rule::EqualsOne, 0};
inline constexpr DwordSetting kProxyIsNtlm{L"Proxy_IsNTLM", Hive::MachineInServerMode, Rule::EqualsOne, 0};
inline constexpr DwordSetting kServer{L"Server", Hive::Machine, Rule::EqualsOne, 0};
inline constexpr DwordSetting kUseAltDuplex{L"VRC_UseAltDuplex", Hive::User, Rule::EqualsOne, 0};
inline constexpr DwordSetting kProxyWpadEnabled{L"Proxy_WPAD_Enabled", Hive::User, Rule::EqualsOne, 0};

inline constexpr const wchar_t* kProductValue = L"Product";
inline constexpr const wchar_t* kIgnoreUpgradesValue = L"IgnoreUpgradesUptoVersion";
inline constexpr const wchar_t* kInstallPathValue = L"Install Path";
inline constexpr const wchar_t* kUserPathValue = L"UserPath";
inline constexpr std::wstring_view kDefaultProduct = L"VRC";

// PRINTER_ATTRIBUTE_LOCAL and PRINTER_ATTRIBUTE_RAW_ONLY.
inline constexpr std::uint32_t kAttributeLocal = 0x40;
inline constexpr std::uint32_t kAttributeRawOnly = 0x1000;

constexpr bool usesUserHive(Hive hive, bool serverMode) noexcept
{
    return hive == Hive::User || (hive == Hive::MachineInServerMode && !serverMode);
}

// The getter's result for a value that was read (or not).
constexpr std::uint32_t settingResult(const DwordSetting& setting, bool read, std::uint32_t stored) noexcept
{
    if (!read)
        return setting.fallback;
    switch (setting.rule) {
    case Rule::NonZero:
        return stored != 0 ? 1u : 0u;
    case Rule::EqualsOne:
        return stored == 1 ? 1u : 0u;
    case Rule::AsStored:
        return stored;
    case Rule::NonZeroElseFallback:
        return stored != 0 ? stored : setting.fallback;
    }
    return setting.fallback;
}

// The printer attribute mask: raw-only when the setting asks for it; without
// the setting, raw-only everywhere but on native AMD64.
constexpr std::uint32_t printerAttributes(bool read, std::uint32_t stored, bool nativeAmd64) noexcept
{
    if (read)
        return stored == 1 ? (kAttributeLocal | kAttributeRawOnly) : kAttributeLocal;
    return nativeAmd64 ? kAttributeLocal : (kAttributeLocal | kAttributeRawOnly);
}

// ---- the machine environment -------------------------------------------------

// Where the data folders may be set machine-wide; the values are read as
// stored (environment references are not expanded).
inline constexpr const wchar_t* kEnvironmentKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr const wchar_t* kDataRootVariable = L"NVS_DATA_ROOT";
inline constexpr const wchar_t* kDataLogsVariable = L"NVS_DATA_LOGS";

// The server log folder's protected security descriptor, given only when the
// runtime makes the folder. The service and every user append to the same
// logs: SYSTEM and Administrators have full control; authenticated users may
// list the folder and make files in it, and read, write and append the files,
// but not delete, rename, re-secure them or change their attributes, so that
// none can put a link where the service writes or mark a log read-only. The
// owner rights entries keep the user who made a log from re-securing it, and
// let that user alone move it to its backup: a log only users write still
// rotates, while one the service made stays the service's.
inline constexpr const wchar_t* kServerLogFolderSecurity =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a3;;;AU)(A;OIIO;0x12008f;;;AU)(A;;0x1200a3;;;OW)(A;OIIO;0x13008f;;;"
    L"OW)";

// ---- folder capacity checks (capacities in characters, NUL included) --------

inline constexpr std::wstring_view kCompanyFolder = L"Norvessa Corporation";
inline constexpr std::wstring_view kProductFolder = L"Veranto 6.2";
inline constexpr std::wstring_view kSpoolFolder = L"SPOOL";

// Base + "\Norvessa Corporation\Veranto 6.2" and its NUL. One check for both
// levels, also when the company level is left out.
constexpr bool productPathFits(std::size_t baseLength, std::size_t capacity) noexcept
{
    return baseLength + kCompanyFolder.size() + kProductFolder.size() + 2 < capacity;
}

// Logs folder + "\Veranto 6.2" and its NUL.
constexpr bool logsPathFits(std::size_t baseLength, std::size_t capacity) noexcept
{
    return baseLength + 1 + kProductFolder.size() + 1 <= capacity;
}

// The spool path asks one character more than "\SPOOL" and its NUL need.
constexpr bool spoolSeparatorFits(std::size_t dataLength, std::size_t capacity) noexcept
{
    return dataLength + 1 < capacity;
}
constexpr bool spoolNameFits(std::size_t lengthWithSeparator, std::size_t capacity) noexcept
{
    return lengthWithSeparator + kSpoolFolder.size() + 1 < capacity;
}

// ---- text in caller buffers ---------------------------------------------------

// A text being built in a caller's buffer; every append either fits with its
// NUL or changes nothing.
class WideText {
public:
    explicit WideText(std::span<wchar_t> buffer) noexcept;
    // Takes the NUL-terminated text already in the buffer (or the empty text).
    static WideText adopt(std::span<wchar_t> buffer) noexcept;

    bool assign(std::wstring_view text) noexcept;
    bool append(std::wstring_view text) noexcept;
    std::size_t length() const noexcept { return length_; }
    const wchar_t* c_str() const noexcept { return buffer_.data(); }

private:
    std::span<wchar_t> buffer_;
    std::size_t length_ = 0;
};

// Length of the text in the span, up to its first NUL (the span's size if none).
std::size_t boundedLength(std::span<const wchar_t> text) noexcept;

// After a successful string read of `bytesRead` bytes into `buffer`: makes the
// text end in a NUL inside the buffer. False when the stored text fills the
// whole buffer without one (the reader then fails rather than hand out an
// unterminated text).
bool terminateReadText(std::span<wchar_t> buffer, std::size_t bytesRead) noexcept;

// The product name used when none is stored: "VRC" cut to the buffer, always
// terminated, the rest of the buffer NUL-filled.
void fillDefaultProduct(std::span<wchar_t> buffer) noexcept;

}  // namespace vr::settings
