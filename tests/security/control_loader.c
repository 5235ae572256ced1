/* The test's control: loads each library named on its command line by its bare name, as any
   program that does not restrict its search does. Under the test's overrides each planted
   library must then leave its marker, or the test could not tell a safe program from a blind
   test. Exit code: the number of libraries that could not be loaded at all. */
#include <windows.h>

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        HMODULE library = LoadLibraryA(argv[i]);
        if (library == NULL) {
            ++failed;
        } else {
            FreeLibrary(library);
        }
    }
    (void)failed;
    return 0;
}
