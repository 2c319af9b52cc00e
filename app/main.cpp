// Process entry: everything happens in runParlink so that main stays a one-liner.
#include "app/entry.h"

int main(int argc, char* argv[])
{
    return runParlink(argc, argv);
}
