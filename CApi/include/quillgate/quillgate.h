/* Quillgate: CAPTCHA images and sounds from C, and from any language that can call C.
 *
 * A quillgate_generator holds its own settings and its own current code: objects never
 * share either, so each visitor of a threaded web host can have one. An object may be used
 * by one thread at a time; different objects may be used on different threads at once, and
 * never wait for each other (each drawing takes a random source of its own, seeded from the
 * operating system, and every code comes from the system's cryptographic generator).
 *
 * Every call that can fail returns a quillgate_status; after a failure,
 * quillgate_last_error(object) says why, in English, until the object's next call.
 *
 * Text (codes, answers, format names) is UTF-8. Codes and answers are converted as the
 * `quillgate` command converts them, so a code set here has the hash `quillgate hash CODE`
 * prints, and the characters drawn are the characters given.
 *
 *   quillgate_generator* g = NULL;
 *   if (quillgate_create(&g) != QUILLGATE_OK) abort();
 *   quillgate_set_style(g, 31);
 *   unsigned char* image = NULL; size_t size = 0;
 *   if (quillgate_draw(g, &image, &size) != QUILLGATE_OK) puts(quillgate_last_error(g));
 *   char hash[QUILLGATE_HASH_SIZE];
 *   quillgate_hash(g, hash);   // keep this on the server; compare answers with quillgate_validate
 *   quillgate_free(image);
 *   quillgate_destroy(g);
 */
#ifndef QUILLGATE_QUILLGATE_H
#define QUILLGATE_QUILLGATE_H

#include <stddef.h>

#if defined(QUILLGATE_BUILDING_LIBRARY)
#define QUILLGATE_API __attribute__((visibility("default")))
#else
#define QUILLGATE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A hash is 128 uppercase hexadecimal digits and a terminating NUL. */
#define QUILLGATE_HASH_SIZE 129

typedef enum quillgate_status {
  QUILLGATE_OK = 0,
  QUILLGATE_INVALID_ARGUMENT = 1, /* a null pointer, a value out of range, a bad code */
  QUILLGATE_BUFFER_TOO_SMALL = 2, /* quillgate_draw_into: *size says what is needed */
  QUILLGATE_OUT_OF_MEMORY = 3,
  QUILLGATE_FAILED = 4 /* drawing, encoding or speaking failed; see quillgate_last_error */
} quillgate_status;

typedef struct quillgate_generator quillgate_generator;

/* The library's version, such as "1.0". */
QUILLGATE_API const char* quillgate_version(void);

/* A new object with the defaults: style 31, 250 x 50, 5 characters of type 0, JPEG, and no
 * current code. */
QUILLGATE_API quillgate_status quillgate_create(quillgate_generator** object);
/* Null is allowed. */
QUILLGATE_API void quillgate_destroy(quillgate_generator* object);

/* Why the object's last call failed; "" after a success. Valid until the object's next call.
 * For a null object: a fixed message. */
QUILLGATE_API const char* quillgate_last_error(const quillgate_generator* object);

/* Settings, each checked when set; a refused value leaves the old one. */
QUILLGATE_API quillgate_status quillgate_set_style(quillgate_generator* object, int style); /* 0..49 */
/* 1..32767 each, at most 64 Mi pixels; a height below 10 is drawn as 10, as the component does. */
QUILLGATE_API quillgate_status quillgate_set_size(quillgate_generator* object, int width, int height);
QUILLGATE_API quillgate_status quillgate_set_code_length(quillgate_generator* object, int length); /* 1..1000 */
/* 0 digits and capitals without look-alikes, 1 capitals, 2 digits. */
QUILLGATE_API quillgate_status quillgate_set_code_type(quillgate_generator* object, int type);
/* "JPEG" (or "JPG"), "PNG", "GIF", "BMP" or "TIFF", in any letter case. */
QUILLGATE_API quillgate_status quillgate_set_format(quillgate_generator* object, const char* format);

/* Makes a new random code current. */
QUILLGATE_API quillgate_status quillgate_new_code(quillgate_generator* object);
/* Makes `code` current: UTF-8 text of 1 to 1000 characters, each one a picture can show,
 * that is a character of Windows-1252 (Western European: ASCII, accented Latin letters,
 * punctuation such as the euro sign) that is not a control character. Text that is not
 * UTF-8, or holds another character, is refused with QUILLGATE_INVALID_ARGUMENT and a message
 * naming the first offending byte or character. Every such code is drawn; see
 * quillgate_speak for the characters that are spoken. */
QUILLGATE_API quillgate_status quillgate_set_code(quillgate_generator* object, const char* code);
/* The current code in UTF-8 (as it was given), "" when there is none yet. Valid until the
 * code changes. */
QUILLGATE_API const char* quillgate_code(const quillgate_generator* object);

/* Draws the current code (a new random one first when there is none) in the object's style,
 * size and format. The bytes are the library's: release them with quillgate_free. */
QUILLGATE_API quillgate_status quillgate_draw(quillgate_generator* object, unsigned char** bytes, size_t* size);
/* The same into the caller's buffer; *size is set to the picture's size. When `capacity` is
 * too small (a null buffer with capacity 0 asks for the size alone), nothing is copied and
 * QUILLGATE_BUFFER_TOO_SMALL is returned, and the object keeps the picture it drew: the next
 * quillgate_draw_into with a buffer of at least *size bytes returns exactly those bytes
 * (every drawing has new noise, so a new one would differ, and in a compressed format could
 * be larger). A successful call to any quillgate_set_* function, quillgate_new_code or
 * quillgate_set_code discards the kept picture, even when it sets the value already set;
 * after it is handed out, the next call draws a new one. quillgate_draw, quillgate_speak and
 * quillgate_hash leave it as it is. */
QUILLGATE_API quillgate_status quillgate_draw_into(quillgate_generator* object, unsigned char* buffer,
                                                   size_t capacity, size_t* size);
/* The current code (a new random one first when there is none) spoken as a WAV file.
 * Release the bytes with quillgate_free. The voice says the letters A to Z, in either case
 * (a and A sound the same), and the digits 0 to 9, and nothing else: a code holding any other
 * character (a space, punctuation, an accented letter) fails with QUILLGATE_FAILED and a
 * message naming the first such character and its position, e.g.
 * "speak: cannot speak ' ' (character 3 of the code): ...". Random codes are always spoken. */
QUILLGATE_API quillgate_status quillgate_speak(quillgate_generator* object, unsigned char** bytes, size_t* size);
/* Releases bytes from quillgate_draw or quillgate_speak; null is allowed. */
QUILLGATE_API void quillgate_free(void* bytes);

/* The uppercase hexadecimal SHA-512 of the current code, into `hash` (QUILLGATE_HASH_SIZE
 * bytes). Fails when there is no current code. */
QUILLGATE_API quillgate_status quillgate_hash(quillgate_generator* object, char* hash);
/* 1 when `hash` is the hash of `answer` exactly (the component's rule: letter case counts),
 * else 0. The answer is UTF-8, converted as codes are; null arguments, and an answer that no
 * code could be (not UTF-8, or holding a character quillgate_set_code refuses), give 0.
 * The comparison takes the same time whatever the answer. */
QUILLGATE_API int quillgate_validate(const char* answer, const char* hash);

#ifdef __cplusplus
}
#endif

#endif /* QUILLGATE_QUILLGATE_H */
