#include "frontend/entry.h"

int main(int argc, char** argv) {
    return BoardkitMain(argc, argv);
}
