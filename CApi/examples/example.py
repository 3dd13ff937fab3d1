"""Makes one CAPTCHA through the C API with ctypes (standard library only): writes the
picture to the file named on the command line and prints the code and the hash a site
would keep. QUILLGATE_LIBRARY names the library when it is not on the loader's path."""
import ctypes
import os
import sys

lib = ctypes.CDLL(os.environ.get("QUILLGATE_LIBRARY", "libquillgate.so.1"))
lib.quillgate_create.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
lib.quillgate_destroy.argtypes = [ctypes.c_void_p]
lib.quillgate_last_error.argtypes = [ctypes.c_void_p]
lib.quillgate_last_error.restype = ctypes.c_char_p
lib.quillgate_set_format.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
lib.quillgate_new_code.argtypes = [ctypes.c_void_p]
lib.quillgate_code.argtypes = [ctypes.c_void_p]
lib.quillgate_code.restype = ctypes.c_char_p
lib.quillgate_draw.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte)),
                               ctypes.POINTER(ctypes.c_size_t)]
lib.quillgate_free.argtypes = [ctypes.c_void_p]
lib.quillgate_hash.argtypes = [ctypes.c_void_p, ctypes.c_char_p]


def check(status, captcha):
    if status != 0:
        raise RuntimeError(lib.quillgate_last_error(captcha).decode())


def main():
    if len(sys.argv) != 2:
        print(f"usage: {sys.argv[0]} OUTPUT.png", file=sys.stderr)
        return 64
    captcha = ctypes.c_void_p()
    check(lib.quillgate_create(ctypes.byref(captcha)), None)
    try:
        check(lib.quillgate_set_format(captcha, b"PNG"), captcha)
        check(lib.quillgate_new_code(captcha), captcha)
        data = ctypes.POINTER(ctypes.c_ubyte)()
        size = ctypes.c_size_t()
        check(lib.quillgate_draw(captcha, ctypes.byref(data), ctypes.byref(size)), captcha)
        try:
            image = ctypes.string_at(data, size.value)
        finally:
            lib.quillgate_free(data)
        digest = ctypes.create_string_buffer(129)
        check(lib.quillgate_hash(captcha, digest), captcha)
        with open(sys.argv[1], "wb") as out:
            out.write(image)
        print(lib.quillgate_code(captcha).decode(), digest.value.decode())
    finally:
        lib.quillgate_destroy(captcha)
    return 0


if __name__ == "__main__":
    sys.exit(main())
