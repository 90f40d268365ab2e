// The library that crash-demo loads at run time to crash inside it.
extern "C" {

volatile unsigned long crashDemoLibraryTarget = 32; // in the first page, never mapped

__attribute__((noinline, visibility("default"))) void crashDemoLibraryCrash() {
    *reinterpret_cast<volatile int*>(crashDemoLibraryTarget) = 7;
}

} // extern "C"
