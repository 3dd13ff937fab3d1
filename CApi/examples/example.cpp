// Makes one CAPTCHA with the C++ wrapper: writes the picture to the file named on the
// command line and prints the code and the hash a site would keep.
#include <quillgate/quillgate.hpp>

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT.png\n";
    return 64;
  }
  try {
    quillgate::Generator captcha;
    captcha.SetFormat("PNG").SetStyle(31).NewCode();
    const std::vector<unsigned char> image = captcha.Draw();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.flush()) return 2;
    std::cout << captcha.Code() << ' ' << captcha.Hash() << '\n';
    return 0;
  } catch (const quillgate::Error& e) {
    std::cerr << "quillgate: " << e.what() << '\n';
    return 2;
  }
}
