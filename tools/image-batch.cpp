// Draws many images in one process, for measurements that need thousands (a process per
// image spends most of its time starting up). Reads lines "STYLE CODE PATH" from standard
// input and writes each image as a 250 x 50 JPEG, as the service draws its default
// challenge. Usage: image-batch < jobs
#include "Service/Challenge.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main() {
  std::string line;
  long written = 0;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    int style = 0;
    std::string code;
    std::string path;
    if (!(fields >> style >> code >> path)) {
      std::fprintf(stderr, "image-batch: bad line \"%s\" (want STYLE CODE PATH)\n", line.c_str());
      return 2;
    }
    try {
      quillgate::service::ImageSettings settings;
      settings.style = style;
      const std::vector<unsigned char> image = quillgate::service::RenderImage(code, settings);
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
      if (!out) throw std::runtime_error("cannot write " + path);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "image-batch: %s: %s\n", path.c_str(), error.what());
      return 1;
    }
    ++written;
  }
  std::fprintf(stderr, "image-batch: %ld images\n", written);
  return 0;
}
