// Build-time tool: turns resource files into a C++ header and source, one symbol per file.
// Usage: EmbedResources <header> <source> <namespace or -> <symbol>=<file> ...
// Each symbol becomes `extern const char* const symbol;` with `const int symbolSize`.
// A zero byte follows every resource (not counted in its size) so text can be read as a C string.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
struct Resource
{
    std::string symbol;
    std::vector<unsigned char> bytes;
};

bool readFile (const std::string& path, std::vector<unsigned char>& bytes)
{
    std::ifstream in (path, std::ios::binary);
    if (! in)
        return false;
    bytes.assign (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
    return true;
}

void writeHeader (std::ofstream& out, const std::string& ns, const std::vector<Resource>& resources)
{
    out << "#pragma once\n\n// Generated at build time from resources/; do not edit.\n\n";
    const std::string indent = ns.empty() ? "" : "    ";
    if (! ns.empty())
        out << "namespace " << ns << "\n{\n";
    for (const auto& r : resources)
        out << indent << "extern const char* const " << r.symbol << ";\n"
            << indent << "const int " << r.symbol << "Size = " << r.bytes.size() << ";\n";
    if (! ns.empty())
        out << "}\n";
}

void writeSource (std::ofstream& out, const std::string& headerName, const std::string& ns,
                  const std::vector<Resource>& resources)
{
    out << "// Generated at build time from resources/; do not edit.\n#include \"" << headerName << "\"\n\n";
    for (size_t i = 0; i < resources.size(); ++i)
    {
        out << "static const unsigned char resourceData" << i << "[] = {";
        const auto& bytes = resources[i].bytes;
        for (size_t b = 0; b <= bytes.size(); ++b)
        {
            if (b % 24 == 0)
                out << "\n";
            out << (b < bytes.size() ? static_cast<unsigned> (bytes[b]) : 0u) << ",";
        }
        out << "\n};\n\n";
    }
    const std::string qualifier = ns.empty() ? "" : ns + "::";
    for (size_t i = 0; i < resources.size(); ++i)
        out << "const char* const " << qualifier << resources[i].symbol
            << " = reinterpret_cast<const char*> (resourceData" << i << ");\n";
}
} // namespace

int main (int argc, char** argv)
{
    if (argc < 5)
    {
        std::fprintf (stderr, "usage: %s <header> <source> <namespace|-> <symbol>=<file>...\n", argv[0]);
        return 2;
    }

    const std::string headerPath = argv[1];
    const std::string sourcePath = argv[2];
    const std::string ns = std::string (argv[3]) == "-" ? "" : argv[3];

    std::vector<Resource> resources;
    for (int i = 4; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const auto eq = arg.find ('=');
        if (eq == std::string::npos)
        {
            std::fprintf (stderr, "expected symbol=file, got '%s'\n", arg.c_str());
            return 2;
        }
        Resource r { arg.substr (0, eq), {} };
        if (! readFile (arg.substr (eq + 1), r.bytes))
        {
            std::fprintf (stderr, "cannot read '%s' for symbol %s\n", arg.substr (eq + 1).c_str(), r.symbol.c_str());
            return 1;
        }
        resources.push_back (std::move (r));
    }

    std::ofstream header (headerPath), source (sourcePath);
    if (! header || ! source)
    {
        std::fprintf (stderr, "cannot write %s or %s\n", headerPath.c_str(), sourcePath.c_str());
        return 1;
    }
    writeHeader (header, ns, resources);
    const auto slash = headerPath.find_last_of ('/');
    writeSource (source, slash == std::string::npos ? headerPath : headerPath.substr (slash + 1), ns, resources);
    return header.good() && source.good() ? 0 : 1;
}
