// Settings kept in a printer's data: a real printer of the test prefix, read
// and written through the spooler. Every test starts without the settings
// keys and leaves the registry and the printer as it found them.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "driver_log_capture.h"
#include "registry_state.h"
#include "settings/settings_seams.h"
#include "test_printer.h"
#include "vrcommon.h"

using namespace vr::test;

class PrinterTargets : public ::testing::Test {
protected:
    CleanSettings clean_;
    void SetUp() override
    {
        printer_ = testPrinterName();
        ASSERT_NE(printer_, nullptr) << "no test printer in this prefix";
    }
    void TearDown() override
    {
        for (const wchar_t* name : {L"PrnDword", L"PrnText", L"PrnBlob"})
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, printerDataKey().c_str(), name);
    }
    HANDLE open(DWORD access)
    {
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
        HANDLE printer = nullptr;
        OpenPrinterW(const_cast<wchar_t*>(printer_), &printer, &defaults);
        return printer;
    }
    const wchar_t* printer_ = nullptr;
};

TEST_F(PrinterTargets, ValuesLiveInThePrinterDataOnly)
{
    EXPECT_EQ(VRC_SetDwordValue(printer_, nullptr, L"PrnDword", 0x1234, 0), 1);
    EXPECT_EQ(VRC_SetUserStringValue(printer_, nullptr, L"PrnText", L"on the printer"), 1);
    const BYTE blob[] = {9, 8, 7};
    EXPECT_EQ(VRC_SetUserBinaryValue(printer_, nullptr, L"PrnBlob", blob, sizeof blob), 1);

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, printerDataKey().c_str(), L"PrnDword", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, printerDataKey().c_str(), L"PrnText", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, stringBytes(L"on the printer"));
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, printerDataKey().c_str(), L"PrnBlob", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_FALSE(hasSetting(HKEY_LOCAL_MACHINE, L"PrnDword"));
    EXPECT_FALSE(hasSetting(HKEY_CURRENT_USER, L"PrnText"));

    DWORD value = 0;
    EXPECT_EQ(VRC_GetDwordValue(printer_, nullptr, L"PrnDword", &value, 1), 1);
    EXPECT_EQ(value, 0x1234u);
    HANDLE handle = open(PRINTER_ACCESS_USE);
    ASSERT_NE(handle, nullptr);
    wchar_t text[32];
    EXPECT_EQ(VRC_GetStringValue(nullptr, handle, L"PrnText", text, sizeof text, 0), 1);
    EXPECT_STREQ(text, L"on the printer");

    BYTE small[4];
    DWORD size = sizeof small;
    EXPECT_EQ(VRC_GetValueData(nullptr, handle, L"PrnText", small, &size, 0), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 30u);
    EXPECT_EQ(VRC_GetDwordValue(nullptr, handle, L"PrnMissing", &value, 0), 0);
    ClosePrinter(handle);
}

TEST_F(PrinterTargets, AnUnknownPrinterFailsWithoutFallingBackToTheKey)
{
    setSettingDword(HKEY_CURRENT_USER, L"PrnDword", 5);
    DriverLogCapture log;
    DWORD value = 0;
    EXPECT_EQ(VRC_GetDwordValue(L"No Such Printer", nullptr, L"PrnDword", &value, 1), 0);
    wchar_t text[16];
    EXPECT_EQ(VRC_GetStringValue(L"No Such Printer", nullptr, L"DriverLogFile", text, sizeof text, 1), 0);
    EXPECT_EQ(VRC_SetDwordValue(L"No Such Printer", nullptr, L"PrnDword", 6, 1), 0);
    DWORD stored = 0;
    EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"PrnDword", &stored, 1), 1);
    EXPECT_EQ(stored, 5u);
    // The failed open is reported with its own error, not as a missing value.
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    HANDLE none = nullptr;
    ASSERT_FALSE(OpenPrinterW(const_cast<wchar_t*>(L"No Such Printer"), &none, &defaults));
    const DWORD openError = GetLastError();
    ASSERT_NE(openError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(log.text().find("**ERROR** : Failed to access registry key 'DriverLogFile'. GetLastError() = " +
                              std::to_string(openError) + "\r\n"),
              std::string::npos)
        << log.text();
}

TEST_F(PrinterTargets, AMissingPrinterValueIsNotReported)
{
    DriverLogCapture log;
    wchar_t text[16];
    EXPECT_EQ(VRC_GetStringValue(printer_, nullptr, L"PrnMissing", text, sizeof text, 1), 0);
    EXPECT_EQ(log.text().find("PrnMissing"), std::string::npos) << log.text();
}

namespace {

struct DeleteCall {
    void* printer;
    std::wstring name;
};
std::vector<DeleteCall> deleteCalls;
std::vector<unsigned long> deleteResults;

unsigned long recordDelete(void* printer, const wchar_t* name)
{
    deleteCalls.push_back({printer, name});
    const unsigned long result = deleteResults.empty() ? 0 : deleteResults.front();
    if (!deleteResults.empty())
        deleteResults.erase(deleteResults.begin());
    return result;
}

struct ReplacedDelete {
    ReplacedDelete(std::vector<unsigned long> results)
    {
        deleteCalls.clear();
        deleteResults = std::move(results);
        vr::settings::setDeletePrinterData(recordDelete);
    }
    ~ReplacedDelete() { vr::settings::setDeletePrinterData(nullptr); }
};

}  // namespace

TEST_F(PrinterTargets, DeletionTriesTheHandleThenTheName)
{
    HANDLE handle = open(PRINTER_ALL_ACCESS);
    ASSERT_NE(handle, nullptr);
    {
        ReplacedDelete replaced({ERROR_FILE_NOT_FOUND});
        EXPECT_EQ(VRC_DeleteValue(printer_, handle, L"PrnDword", 0), 1);  // absent counts as gone
        ASSERT_EQ(deleteCalls.size(), 1u);
        EXPECT_EQ(deleteCalls[0].printer, handle);
        EXPECT_EQ(deleteCalls[0].name, L"PrnDword");
    }
    {
        ReplacedDelete replaced({ERROR_ACCESS_DENIED, ERROR_SUCCESS});
        EXPECT_EQ(VRC_DeleteUserValue(printer_, handle, L"PrnDword"), 1);
        ASSERT_EQ(deleteCalls.size(), 2u);
        EXPECT_NE(deleteCalls[1].printer, handle);  // the printer opened by name
    }
    {
        ReplacedDelete replaced({ERROR_ACCESS_DENIED});
        EXPECT_EQ(VRC_DeleteValue(nullptr, handle, L"PrnDword", 0), 0);
        EXPECT_EQ(VRC_DeletePrinterData(handle, L"PrnDword"), 0u);
    }
    {
        // A printer that cannot be opened fails before any deletion.
        ReplacedDelete replaced({});
        setSettingDword(HKEY_LOCAL_MACHINE, L"PrnDword", 1);
        EXPECT_EQ(VRC_DeleteValue(L"No Such Printer", nullptr, L"PrnDword", 0), 0);
        EXPECT_TRUE(deleteCalls.empty());
        EXPECT_TRUE(hasSetting(HKEY_LOCAL_MACHINE, L"PrnDword"));
    }
    ClosePrinter(handle);
}
