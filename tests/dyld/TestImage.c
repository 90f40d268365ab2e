/* A shared library for the image tests: something to load, find and unload. */
int velmora_test_image_value(int x) {
    return x * 5 + 3;
}
