// tw-docgen: writes the manual pages and the shell completions from the options table, at
// build time:  tw-docgen OUTDIR VERSION
#include "app/CliOptions.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "tw-docgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: tw-docgen OUTDIR VERSION\n", stderr);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const std::string version = argv[2];
    // For each program: NAME.1, bash/NAME, zsh/_NAME and fish/NAME.fish.
    for (const char* program : {"tarnwick-cli", "tarnwick"}) {
        const std::string name = program;
        const bool ok = writeFile(dir + name + ".1", tw::manPage(name, version)) &&
                        writeFile(dir + "bash/" + name, tw::completionScript("bash", name)) &&
                        writeFile(dir + "zsh/_" + name, tw::completionScript("zsh", name)) &&
                        writeFile(dir + "fish/" + name + ".fish", tw::completionScript("fish", name));
        if (!ok)
            return 1;
    }
    return 0;
}
