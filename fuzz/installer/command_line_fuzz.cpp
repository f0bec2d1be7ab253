// Any command-line tail: the name taken from it always fits its buffer, and
// the staging steps that use the name stay within theirs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core_fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ResetCore();
    std::vector<char> tail(data, data + size);
    tail.push_back('\0');
    if (ParseCommandLine(tail.data()) == 1) {
        const std::size_t length = strnlen(ConfigFileName, kFieldSize);
        if (length == 0 || length > kMaxFieldLength)
            std::abort();

        char name[kFieldSize];
        std::memcpy(name, ConfigFileName, length + 1);
        if (name[length - 1] == '_')
            ExpandCompressedName(name);
        if (std::strlen(name) != length)
            std::abort();

        char path[kFieldSize];
        JoinPath(path, ConfigFileName, name);
        static DependentFileList list;
        DependentListReset(&list);
        while (DependentListAppend(&list, path)) {
        }
        DependentListFinish(&list);
        if (list.length >= kDependentListSize)
            std::abort();
    }
    return 0;
}
