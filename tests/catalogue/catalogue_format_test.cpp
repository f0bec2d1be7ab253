// The two exports of the built VRCCLN62.dll, bound by name as the product's
// components bind them, formatting through the platform's own formatter.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "vrc_catalogue.h"

namespace {

struct Exports {
    HMODULE module = LoadLibraryW(L"VRCCLN62.dll");
    MSG_FormatMessageProc wide = vr::bind<MSG_FormatMessageProc>(module, "MSG_FormatMessageW");
    MSG_FormatMessageProc eightBit = vr::bind<MSG_FormatMessageProc>(module, "MSG_FormatMessageA");
};

Exports& exports()
{
    static Exports loaded;
    return loaded;
}

struct Formatted {
    bool ok = false;
    std::wstring text;
};

// Passes the inserts as a component does: a va_list of its own arguments.
Formatted formatWith(MSG_FormatMessageProc format, DWORD id, ...)
{
    va_list arguments;
    va_start(arguments, id);
    wchar_t* buffer = format(id, &arguments);
    va_end(arguments);
    Formatted result;
    if (buffer) {
        result.ok = true;
        result.text = buffer;
        // The caller owns the buffer and frees it from the local heap.
        EXPECT_EQ(LocalFree(buffer), nullptr);
    }
    return result;
}

std::wstring formatted(DWORD id, ...)
{
    va_list arguments;
    va_start(arguments, id);
    wchar_t* buffer = exports().wide(id, &arguments);
    va_end(arguments);
    std::wstring text = buffer ? buffer : L"<null>";
    LocalFree(buffer);
    return text;
}

class CatalogueFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(exports().module, nullptr) << GetLastError();
        ASSERT_NE(exports().wide, nullptr);
        ASSERT_NE(exports().eightBit, nullptr);
    }
};

}  // namespace

TEST_F(CatalogueFormat, FillsInsertsAndStopsAtTheEndMark)
{
    EXPECT_EQ(formatted(0xAFF203EC, L"report.tmp"), L"VRC1004: Print Failed... Unable to create file report.tmp.");
    EXPECT_EQ(formatted(0x2FF11F9D, 5), L"Discovered 5");
    EXPECT_EQ(formatted(0xAFFC1B76, L"job 7", L"10:42"),
              L"VRC7030: The print request 'job 7'\r\nstarted at 10:42\r\nappears to be hung and will be aborted.");
    EXPECT_EQ(formatted(0xAFF11BBE, -5, L"Access denied.", L"C:\\app.exe /p"),
              L"ERR7102: The target application could not be launched.\r\n\r\nSystem error code -5.\r\n"
              L"Access denied.\r\nLaunched Target Application Command Line:\r\nC:\\app.exe /p");
    EXPECT_EQ(formatted(0xAFF50DC1, L"report.ps", 40),
              L"VRC3521: An error occurred when sending report.ps to the printer. 40% was sent.");
}

TEST_F(CatalogueFormat, TextBehindTheEndMarkIsNeverProduced)
{
    EXPECT_EQ(formatted(0xAFF71195), L"VRC4501: The service is temporarily unavailable - error in API parameters.");
    EXPECT_EQ(formatted(0x6FFD119E).find(L"//"), std::wstring::npos);
}

TEST_F(CatalogueFormat, TextsWithoutEndMarkKeepTheirFinalLineBreak)
{
    EXPECT_EQ(formatted(0x2FF129DB), L"verified\r\n");
    EXPECT_EQ(formatted(0xAFF203F8), L"exceeded maximum number of pages: \r\n");
    EXPECT_EQ(formatted(MSG_VRC0000), L"MSG_VRC0000\r\n");
    // No line-width limit: the licence comes back exactly as stored, long lines whole.
    const std::wstring licence = formatted(0x2FF14E20);
    EXPECT_TRUE(licence.ends_with(L"\r\n"));
    EXPECT_NE(licence.find(L"\r\n\r\n"), std::wstring::npos);
    size_t longest = 0;
    for (size_t start = 0, end; (end = licence.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        longest = std::max(longest, end - start);
    EXPECT_GT(longest, 200u);
}

TEST_F(CatalogueFormat, PercentFollowedByALetterIsThatLetter)
{
    EXPECT_EQ(formatted(0x2FF136B3),
              L"It is not recommended to stop the addition of the Printer Plugin.Do you still wish to cancel this "
              L"operation?");
    EXPECT_EQ(formatted(0x2FF128A2).substr(0, 2), L"\u00A9 ");
}

TEST_F(CatalogueFormat, IdentifiersOutsideTheCatalogueGiveNull)
{
    for (DWORD id : {0xAFF203F1u, 0x2FF11B7Eu, 0xAFFC1B8Du, 0xAFF10031u, 0xEFF10001u, 0u}) {
        EXPECT_FALSE(formatWith(exports().wide, id, L"x").ok) << std::hex << id;
        EXPECT_FALSE(formatWith(exports().eightBit, id, L"x").ok) << std::hex << id;
    }
}

TEST_F(CatalogueFormat, NullListForMessagesWithoutInserts)
{
    wchar_t* text = exports().wide(0xAFF10001, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"Error");
    LocalFree(text);
    text = exports().eightBit(0x2FF11B7F, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text).substr(0, 11), L"VRC7039: \r\n");
    LocalFree(text);
}

TEST_F(CatalogueFormat, EightBitNameReturnsTheSameUtf16Text)
{
    const Formatted wide = formatWith(exports().wide, 0xAFF203EC, L"report.tmp");
    const Formatted eightBit = formatWith(exports().eightBit, 0xAFF203EC, L"report.tmp");
    ASSERT_TRUE(wide.ok);
    ASSERT_TRUE(eightBit.ok);
    EXPECT_EQ(wide.text, eightBit.text);
    EXPECT_EQ(formatWith(exports().eightBit, 0x2FF128A2).text, formatWith(exports().wide, 0x2FF128A2).text);
}

TEST_F(CatalogueFormat, BothExportsFromManyThreadsAtOnce)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 300;
    std::atomic<int> wrong{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            const std::wstring file = L"file" + std::to_wstring(t) + L".tmp";
            for (int round = 0; round < kRounds; ++round) {
                const MSG_FormatMessageProc format = (round + t) % 2 ? exports().wide : exports().eightBit;
                const Formatted withText = formatWith(format, 0xAFF203EC, file.c_str());
                if (!withText.ok || withText.text != L"VRC1004: Print Failed... Unable to create file " + file + L".")
                    ++wrong;
                const Formatted withNumber = formatWith(format, 0x2FF11F9D, t * 1000 + round);
                if (withNumber.text != L"Discovered " + std::to_wstring(t * 1000 + round))
                    ++wrong;
                if (formatWith(format, 0xAFF203F1).ok)
                    ++wrong;
            }
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}
