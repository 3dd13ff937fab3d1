/* Makes one CAPTCHA with the C API: writes the picture to the file named on the command
 * line and prints the code and the hash a site would keep. */
#include <quillgate/quillgate.h>

#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 64;
  }
  quillgate_generator* captcha = NULL;
  if (quillgate_create(&captcha) != QUILLGATE_OK) return 2;
  unsigned char* image = NULL;
  size_t size = 0;
  char hash[QUILLGATE_HASH_SIZE];
  int status = 2;
  if (quillgate_set_format(captcha, "png") == QUILLGATE_OK && quillgate_new_code(captcha) == QUILLGATE_OK &&
      quillgate_draw(captcha, &image, &size) == QUILLGATE_OK && quillgate_hash(captcha, hash) == QUILLGATE_OK) {
    FILE* out = fopen(argv[1], "wb");
    if (out != NULL && fwrite(image, 1, size, out) == size && fclose(out) == 0) {
      printf("%s %s\n", quillgate_code(captcha), hash);
      status = 0;
    }
  } else {
    fprintf(stderr, "quillgate: %s\n", quillgate_last_error(captcha));
  }
  quillgate_free(image);
  quillgate_destroy(captcha);
  return status;
}
