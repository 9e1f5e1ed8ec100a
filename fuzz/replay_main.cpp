// Stands in for libFuzzer's main in ordinary builds: feeds every file of the
// given directories (and any files named directly) to the target once, in
// name order, and fails if none was found. A target stops the process on a
// broken invariant, so a saved crash input that breaks again fails the test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = argv[i];
        std::error_code error;
        if (fs::is_directory(path, error)) {
            for (const auto& entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file()) inputs.push_back(entry.path());
            }
        } else if (fs::is_regular_file(path, error)) {
            inputs.push_back(path);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::cerr << "no inputs found\n";
        return 1;
    }
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (!file.eof() && file.fail()) {
            std::cerr << "cannot read " << path << '\n';
            return 1;
        }
        std::cout << "replaying " << path.filename().string() << '\n' << std::flush;
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::cout << inputs.size() << " input(s) replayed\n";
    return 0;
}
