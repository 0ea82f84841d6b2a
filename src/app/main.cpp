#include "app/Application.h"

#include <csignal>

int main(int argc, char** argv)
{
    // A write past the process's file-size limit then fails with EFBIG and
    // the save reports it, instead of the signal ending the program with
    // every unsaved edit.
    std::signal(SIGXFSZ, SIG_IGN);
    return qv::runApplication(argc, argv);
}
