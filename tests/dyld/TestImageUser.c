/* A shared library that needs the test image: loading it pulls the test image in as well. */
int velmora_test_image_value(int x);

int velmora_test_image_user_value(int x) {
    return velmora_test_image_value(x) + 1;
}
