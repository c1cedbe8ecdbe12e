#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

// A fresh directory for the simulated unit's report files, removed with everything in it.
class TemporaryDirectory final
{
public:
    TemporaryDirectory()
    {
        char pattern[] = "/tmp/zendravel-sim-XXXXXX";

        if (mkdtemp (pattern) == nullptr)
            throw std::runtime_error ("cannot make a temporary directory");

        path = pattern;
    }

    ~TemporaryDirectory() { std::system (("rm -rf '" + path + "'").c_str()); }

    TemporaryDirectory (const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator= (const TemporaryDirectory&) = delete;

    std::string path;
};

inline std::string contentsOf (const std::string& path)
{
    std::ifstream file (path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline bool fileExists (const std::string& path)
{
    return std::ifstream (path).good();
}
