// The trace file layer on real files.
#include <gtest/gtest.h>

#include <string>

#include "scratch_folder.h"
#include "vrcommon.h"

using vr::test::tempPath;

namespace {

void writeFile(const std::wstring& path, const std::string& bytes)
{
    FIO_FILE* file = nullptr;
    ASSERT_EQ(FIO_Open(path.c_str(), FIO_MODE_CREATE, &file), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(FIO_Write(file, bytes.data(), static_cast<DWORD>(bytes.size())), static_cast<int>(bytes.size()));
    FIO_Close(file);
}

std::vector<std::string> readAllLines(const std::wstring& path, int bufferSize)
{
    FIO_FILE* file = nullptr;
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_READ, &file), 0);
    std::vector<std::string> lines;
    std::vector<char> buffer(bufferSize);
    while (lines.size() < 100) {
        const char* line = FIO_ReadLine(buffer.data(), bufferSize, file);
        if (line == nullptr)
            break;
        EXPECT_EQ(line, buffer.data());
        lines.emplace_back(line);
    }
    FIO_Close(file);
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(TraceFiles, OpenModes)
{
    const std::wstring path = tempPath(L"fio modes.txt");
    DeleteFileW(path.c_str());
    FIO_FILE* file = nullptr;
    EXPECT_EQ(FIO_Open(nullptr, FIO_MODE_READ, &file), -1);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_EXISTS, nullptr), -1);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_READ, &file), -1);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_UPDATE, &file), -1);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_CREATE, nullptr), -1);
    EXPECT_EQ(FIO_Open(path.c_str(), 4, &file), -1);

    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    EXPECT_EQ(FIO_Open(folder, FIO_MODE_EXISTS, nullptr), 0);

    writeFile(path, "0123456789");
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_EXISTS, nullptr), 0);
    ASSERT_EQ(FIO_Open(path.c_str(), FIO_MODE_UPDATE, &file), 0);
    // Writers do not share: a second writer's open fails while this one is open.
    FIO_FILE* second = nullptr;
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_UPDATE, &second), -1);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_CREATE, &second), -1);
    EXPECT_EQ(FIO_Seek(file, 0, 2), 10);
    EXPECT_EQ(FIO_AtEnd(file), 1);
    EXPECT_EQ(FIO_Seek(file, 4, 0), 4);
    EXPECT_EQ(FIO_AtEnd(file), 0);
    EXPECT_EQ(FIO_Seek(file, 0, 1), 4) << "FIO_AtEnd keeps the position";
    char bytes[4] = {};
    EXPECT_EQ(FIO_Read(file, bytes, 3), 3);
    EXPECT_EQ(std::string(bytes), "456");
    FIO_Close(file);

    // Readers share with readers only.
    FIO_FILE* reader = nullptr;
    ASSERT_EQ(FIO_Open(path.c_str(), FIO_MODE_READ, &reader), 0);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_READ, &second), 0);
    FIO_Close(second);
    EXPECT_EQ(FIO_Open(path.c_str(), FIO_MODE_UPDATE, &second), -1);
    EXPECT_EQ(FIO_Write(reader, "x", 1), 0) << "a failing write reports 0";
    FIO_Close(reader);
    FIO_Close(nullptr);
    DeleteFileW(path.c_str());
}

TEST(TraceFiles, WrappedRecordHoldsThePointerAndRefusesFileOperations)
{
    const wchar_t* name = L"not a file";
    FIO_FILE* wrapped = nullptr;
    ASSERT_EQ(FIO_Open(name, FIO_MODE_WRAP, &wrapped), 0);
    ASSERT_NE(wrapped, nullptr);
    EXPECT_EQ(wrapped->kind, FIO_KIND_WRAPPED);
    EXPECT_EQ(wrapped->handle, name);
    char buffer[8] = "keep";
    EXPECT_EQ(FIO_Read(wrapped, buffer, 1), -1);
    EXPECT_EQ(FIO_Write(wrapped, buffer, 1), -1);
    EXPECT_EQ(FIO_Seek(wrapped, 0, 0), -1);
    EXPECT_EQ(FIO_AtEnd(wrapped), 0);
    EXPECT_EQ(FIO_ReadLine(buffer, sizeof buffer, wrapped), nullptr);
    EXPECT_STREQ(buffer, "keep");
    FIO_Close(wrapped);
    EXPECT_EQ(FIO_Read(nullptr, buffer, 1), -1);
    EXPECT_EQ(FIO_ReadLine(buffer, sizeof buffer, nullptr), nullptr);
}

TEST(TraceFiles, ReadLineSplitsTextFiles)
{
    const std::wstring path = tempPath(L"fio lines.txt");
    writeFile(path, "a\r\nb");
    EXPECT_EQ(readAllLines(path, 16), (Lines{"a", "b"}));
    writeFile(path, "\x1A"
                    "abc");
    EXPECT_EQ(readAllLines(path, 16), Lines{});
    writeFile(path, "abc\x1A"
                    "def\r\n");
    EXPECT_EQ(readAllLines(path, 16), Lines{"abc"});
    // Lines longer than the buffer come in pieces; a line end that starts the
    // next block reads as an empty line.
    writeFile(path, "first line\nsecond\rthird\n\rfourth");
    EXPECT_EQ(readAllLines(path, 6), (Lines{"first", " line", "", "secon", "d", "third", "", "fourt", "h"}));
    writeFile(path, "one\ntwo\r\nthree\n\rfour\rfive");
    EXPECT_EQ(readAllLines(path, 64), (Lines{"one", "two", "three", "four", "five"}));
    DeleteFileW(path.c_str());
}

TEST(TraceFiles, ByteReaders)
{
    const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(FIO_GetWordBE(bytes), 0x1234);
    EXPECT_EQ(FIO_GetWord(bytes), 0x3412);
    EXPECT_EQ(FIO_GetDwordBE(bytes), 0x12345678u);
    EXPECT_EQ(FIO_GetDword(bytes), 0x78563412u);
    const unsigned char high[] = {0xFF, 0xFE, 0xFD, 0xFC};
    EXPECT_EQ(FIO_GetDwordBE(high), 0xFFFEFDFCu);
}
