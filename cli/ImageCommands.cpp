// quillgate image | gallery: draws codes as CAPTCHA images.
#include "cli/CaptchaClient.h"
#include "cli/Commands.h"

#include "Engine/ImageEncoding.h"
#include "Platform/Graphics/Bitmap.h"
#include "Styles/StyleRenderer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::cli {
namespace {

// Settings left unset keep the component's current values (its defaults, in a new process).
struct ImageRequest {
  std::optional<int> style;
  std::optional<int> width;
  std::optional<int> height;
  std::optional<int> length;
  std::optional<int> type;
  std::optional<std::string> format;
  std::string code;  // empty: a new random code
};

struct ImageResult {
  std::vector<unsigned char> bytes;
  std::string code;  // printable (UTF-8)
  std::string hash;
};

// The whole of making one image through a Captcha object: settings in, encoded bytes, code
// and hash value out. Throws std::runtime_error with the component's own message.
ImageResult MakeImage(CaptchaClient& captcha, const ImageRequest& request) {
  using component::ICaptcha;
  if (request.style) captcha.Put(&ICaptcha::put_TextStyle, *request.style);
  if (request.width) captcha.Put(&ICaptcha::put_ImageWidth, *request.width);
  if (request.height) captcha.Put(&ICaptcha::put_ImageHeight, *request.height);
  if (request.length) captcha.Put(&ICaptcha::put_CodeLength, *request.length);
  if (request.type) captcha.Put(&ICaptcha::put_CodeType, *request.type);
  if (request.format) captcha.PutFormat(*request.format);
  ImageResult result;
  result.bytes = captcha.CreateImage(request.code);
  result.code = captcha.Value();
  result.hash = captcha.HashValue();
  return result;
}

// The format a file name's extension names, if any: a format's name as --format reads it
// (so .jpg is JPEG, in any letter case), or one of the short forms .jpe and .tif.
std::optional<std::string> FormatOfExtension(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  if (extension.size() < 2) return std::nullopt;
  std::string format = CanonicalFormatName(std::string_view(extension).substr(1));
  if (format == "JPE") format = "JPEG";
  if (format == "TIF") format = "TIFF";
  if (!MimeTypeOfFormat(format)) return std::nullopt;
  return format;
}

// --format names a format the component can write, by the component's own rule.
CLI::Validator ImageFormat() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (MimeTypeOfFormat(CanonicalFormatName(text))) return {};
        return "'" + text + "' is not an image format the command writes";
      },
      "");
}

// Settles the format from --format and the output's name before anything is drawn: without
// --format, a known extension chooses it (so x.png holds PNG, not JPEG bytes); with both,
// they must agree.
void SettleFormat(ImageRequest& request, const std::string& output) {
  const std::optional<std::string> named = output == "-" ? std::nullopt : FormatOfExtension(output);
  if (!request.format) {
    request.format = named;
    return;
  }
  if (named && *named != CanonicalFormatName(*request.format)) {
    throw CLI::ValidationError("--format", *request.format + " contradicts the name " + output + ", which says " +
                                               *named + "; leave --format out or rename the file");
  }
}

// Each side is checked by its option; their product only when both are given, as one side
// at its default (250 x 50) cannot reach the limit.
void CheckPixelCount(const ImageRequest& request) {
  if (!request.width || !request.height) return;
  const std::int64_t pixels = std::int64_t{*request.width} * std::max(*request.height, 10);
  if (pixels > graphics::Bitmap::kMaxPixels) {
    throw CLI::ValidationError("--width, --height", std::to_string(*request.width) + " x " +
                                                        std::to_string(*request.height) + " is more than " +
                                                        std::to_string(graphics::Bitmap::kMaxPixels) + " pixels");
  }
}

std::string HtmlEscaped(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

struct GalleryEntry {
  int style;
  std::string file;
  std::string code;
  double milliseconds;  // the median time to make one image of this style
};

// The median over a few more images of the same settings: the first image of a style also
// pays for loading its fonts, and one timing alone is at the mercy of the scheduler.
double MedianImageMilliseconds(CaptchaClient& captcha, const ImageRequest& request) {
  constexpr int kTimedImages = 5;
  std::vector<double> times;
  for (int i = 0; i < kTimedImages; ++i) {
    const auto start = std::chrono::steady_clock::now();
    (void)MakeImage(captcha, request);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + kTimedImages / 2, times.end());
  return times[kTimedImages / 2];
}

std::string Milliseconds(double ms) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, ms, std::chars_format::fixed, 2);
  return error == std::errc() ? std::string(text, end) + " ms" : "?";
}

std::string GalleryPage(const std::vector<GalleryEntry>& entries) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Quillgate text styles</title>\n"
      "<style>body{font-family:sans-serif}td{padding:6px 12px}img{border:1px solid #999}</style>\n"
      "</head>\n<body>\n<h1>Quillgate text styles</h1>\n<table>\n"
      "<tr><th>Style</th><th>Image</th><th>Code</th><th>Time to make</th></tr>\n";
  for (const auto& e : entries) {
    page += "<tr><td>" + std::to_string(e.style) + "</td><td><img src=\"" + HtmlEscaped(e.file) +
            "\" alt=\"style " + std::to_string(e.style) + "\"></td><td><code>" +
            HtmlEscaped(e.code) + "</code></td><td>" + Milliseconds(e.milliseconds) + "</td></tr>\n";
  }
  page += "</table>\n<p>" + std::to_string(entries.size()) +
          " styles. Time to make: the median of five images of the style, drawn and encoded, on the "
          "machine that made this page.</p>\n</body>\n</html>\n";
  return page;
}

std::span<const unsigned char> AsBytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

}  // namespace

void AddImageCommands(CLI::App& app) {
  auto* image = app.add_subcommand("image", "Draw a code as a CAPTCHA image");
  auto request = std::make_shared<ImageRequest>();
  auto output = std::make_shared<std::string>();
  // Checked here so that the message names the option and its range; the component's own
  // checks stay behind them for its other callers.
  const int maxSide = graphics::Bitmap::kMaxSide;
  image->add_option("--style", request->style, "Text style, 0 to 49 (default 31)")->check(IntegerIn(0, 49));
  image->add_option("--width", request->width, "Image width in pixels, 1 to 32767 (default 250)")
      ->check(IntegerIn(1, maxSide));
  image->add_option("--height", request->height,
                    "Image height in pixels, 1 to 32767; below 10 is drawn as 10 (default 50)")
      ->check(IntegerIn(1, maxSide));
  image->add_option("--length", request->length, "Characters in a new code, 1 to 1000 (default 5)")
      ->check(IntegerIn(1, kMaxCodeLength));
  image->add_option("--type", request->type,
                    "Alphabet: 0 digits and capitals without look-alikes, 1 capitals, 2 digits")
      ->check(IntegerIn(0, 2));
  image->add_option("--format", request->format,
                    "JPEG (or JPG), PNG, GIF, BMP or TIFF, in any letter case (default: from the output's "
                    "extension, else JPEG)")
      ->check(ImageFormat());
  image->add_option("--code", request->code,
                    "The code to draw, at most 1000 characters (default: a new random code)")
      ->check(CodeText(kMaxCodeLength));
  image->add_option("-o,--output", *output, "The image file to write, or - for standard output")
      ->required();
  image->callback([request, output] {
    SettleFormat(*request, *output);
    CheckPixelCount(*request);
    CaptchaClient captcha;
    const ImageResult result = MakeImage(captcha, *request);
    WriteOutput(*output, result.bytes);
    // On standard output the image is the payload, so the report goes to standard error.
    std::FILE* report = *output == "-" ? stderr : stdout;
    std::fprintf(report, "Code: %s\nHash: %s\n", result.code.c_str(), result.hash.c_str());
  });

  auto* gallery = app.add_subcommand(
      "gallery", "Draw one image per available text style, with an index.html showing them");
  auto directory = std::make_shared<std::string>();
  gallery->add_option("-o,--output", *directory, "The folder to write into (created if needed)")
      ->required();
  gallery->callback([directory] {
    const std::filesystem::path folder(*directory);
    std::filesystem::create_directories(folder);
    CaptchaClient captcha;
    std::vector<GalleryEntry> entries;
    for (int style = 0; style < 50; ++style) {
      if (!CreateStyleRenderer(style)) continue;  // not drawn by this build yet
      ImageRequest request;
      request.style = style;
      const ImageResult result = MakeImage(captcha, request);
      const std::string file = "style-" + std::to_string(style) + ".jpg";
      WriteOutput((folder / file).string(), result.bytes);
      entries.push_back({style, file, result.code, MedianImageMilliseconds(captcha, request)});
    }
    WriteOutput((folder / "index.html").string(), AsBytes(GalleryPage(entries)));
    std::printf("Wrote %zu images and index.html to %s\n", entries.size(), directory->c_str());
  });
}

}  // namespace quillgate::cli
