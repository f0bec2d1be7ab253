// Stand-in for libFuzzer when the compiler is not clang: feeds every file named
// on the command line (or every file of a folder) to the fuzz target, then a
// fixed number of deterministic mutations of each, so that a plain sanitizer
// build still explores beyond the corpus.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void run(const std::vector<uint8_t>& input)
{
    // A copy of exactly the input's size, so that the sanitizers see any read past it.
    std::vector<uint8_t> copy(input);
    LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
}

void mutateAndRun(std::vector<uint8_t> input, std::mt19937& random)
{
    constexpr int kMutationsPerInput = 2000;
    for (int i = 0; i < kMutationsPerInput; ++i) {
        std::vector<uint8_t> mutated = input;
        switch (random() % 4) {
        case 0:  // flip a byte
            if (!mutated.empty())
                mutated[random() % mutated.size()] = static_cast<uint8_t>(random());
            break;
        case 1:  // truncate
            if (!mutated.empty())
                mutated.resize(random() % mutated.size());
            break;
        case 2:  // insert bytes
            for (unsigned n = random() % 16; n > 0; --n)
                mutated.insert(mutated.begin() + (mutated.empty() ? 0 : random() % mutated.size()),
                               static_cast<uint8_t>(random()));
            break;
        default:  // duplicate a slice
            if (!mutated.empty()) {
                size_t from = random() % mutated.size();
                size_t length = random() % (mutated.size() - from + 1);
                mutated.insert(mutated.end(), mutated.begin() + from, mutated.begin() + from + length);
            }
            break;
        }
        run(mutated);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (std::filesystem::is_regular_file(path)) {
            files.push_back(path);
        }
    }
    std::mt19937 random(12345);
    run({});
    for (const auto& file : files) {
        std::vector<uint8_t> input = readFile(file);
        run(input);
        mutateAndRun(input, random);
    }
    std::printf("replayed %zu inputs with mutations\n", files.size());
    return 0;
}
