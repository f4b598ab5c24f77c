// Entry point for builds without libFuzzer: runs the harness once on every file
// named on the command line (directories are walked), so any corpus replays with
// any compiler. Prints how many inputs ran.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize);

namespace
{
int RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    int nFailed = 0;
    long nRun = 0;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg))
        {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file())
                {
                    nFailed += RunFile(entry.path());
                    ++nRun;
                }
        }
        else
        {
            nFailed += RunFile(arg);
            ++nRun;
        }
    }
    std::printf("%ld inputs run\n", nRun);
    return nFailed == 0 ? 0 : 1;
}
