#pragma once

#include <iosfwd>

// What the process holds right now, as Linux's /proc/self shows it.
struct ProcessFigures
{
    int threads = 0;
    int openFiles = 0;
    long residentKiB = 0;

    static ProcessFigures now();
};

std::ostream& operator<< (std::ostream& out, const ProcessFigures& figures);

// Prints the figures before and after a number of cycles and checks that nothing was kept:
// the same threads and open files, and at most 1 MiB more resident memory.
void expectNothingKept (const char* what, int cycles, const ProcessFigures& before, const ProcessFigures& after, double seconds);
