// The benchmarks' own main: the usual console table, then one summary of the per-style image
// benchmarks (JPEG and PNG per style, the mean, the slowest) against the speed targets, so
// that a change that slows one style is seen at a glance among a hundred rows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Per style image: at most 10 ms for any style, 2 ms on average, 0.25 ms for the default.
constexpr double kSlowestTargetMs = 10.0;
constexpr double kMeanTargetMs = 2.0;
constexpr double kDefaultStyleTargetMs = 0.25;
constexpr int kDefaultStyle = 31;

struct StyleTimes {
  double jpegMs = -1;
  double pngMs = -1;
};

// "BM_CreateImageJpeg/style:31" -> format "Jpeg", style 31.
bool ParseStyleRun(std::string_view name, std::string& format, int& style) {
  constexpr std::string_view prefix = "BM_CreateImage";
  constexpr std::string_view marker = "/style:";
  if (name.substr(0, prefix.size()) != prefix) return false;
  const auto at = name.find(marker);
  if (at == std::string_view::npos) return false;
  format = std::string(name.substr(prefix.size(), at - prefix.size()));
  style = 0;
  const std::string_view digits = name.substr(at + marker.size());
  if (digits.empty()) return false;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    style = style * 10 + (c - '0');
  }
  return true;
}

double ToMilliseconds(const benchmark::BenchmarkReporter::Run& run) {
  const double perIteration = run.GetAdjustedCPUTime();
  switch (run.time_unit) {
    case benchmark::kNanosecond: return perIteration / 1e6;
    case benchmark::kMicrosecond: return perIteration / 1e3;
    case benchmark::kMillisecond: return perIteration;
    case benchmark::kSecond: return perIteration * 1e3;
  }
  return perIteration;
}

class StyleSummaryReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      std::string format;
      int style = 0;
      if (!ParseStyleRun(run.benchmark_name(), format, style)) continue;
      if (format == "Jpeg") times_[style].jpegMs = ToMilliseconds(run);
      if (format == "Png") times_[style].pngMs = ToMilliseconds(run);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.empty()) return;
    std::printf("\nPer style, CPU time per 250 x 50 image (ms):\n%5s %9s %9s %10s\n", "style", "JPEG",
                "PNG", "JPEG img/s");
    // A format the run filtered out shows as "-".
    const auto cell = [](double ms) {
      char text[16] = "        -";
      if (ms >= 0) std::snprintf(text, sizeof text, "%9.3f", ms);
      return std::string(text);
    };
    for (const auto& [style, t] : times_) {
      std::printf("%5d %s %s %10.0f\n", style, cell(t.jpegMs).c_str(), cell(t.pngMs).c_str(),
                  t.jpegMs > 0 ? 1000.0 / t.jpegMs : 0.0);
    }
    Summarise("JPEG", &StyleTimes::jpegMs);
    Summarise("PNG", &StyleTimes::pngMs);
  }

 private:
  void Summarise(const char* format, double StyleTimes::*field) const {
    double sum = 0;
    int count = 0;
    int slowest = -1;
    double slowestMs = -1;
    for (const auto& [style, t] : times_) {
      const double ms = t.*field;
      if (ms < 0) continue;
      sum += ms;
      ++count;
      if (ms > slowestMs) {
        slowestMs = ms;
        slowest = style;
      }
    }
    if (count == 0) return;
    const double mean = sum / count;
    std::printf("%s over %d styles: mean %.3f ms (target <= %.1f) %s; slowest style %d, %.3f ms (target <= %.0f) %s\n",
                format, count, mean, kMeanTargetMs, mean <= kMeanTargetMs ? "ok" : "MISSED", slowest,
                slowestMs, kSlowestTargetMs, slowestMs <= kSlowestTargetMs ? "ok" : "MISSED");
    const auto defaultStyle = times_.find(kDefaultStyle);
    if (field == &StyleTimes::jpegMs && defaultStyle != times_.end() && defaultStyle->second.jpegMs >= 0) {
      const double ms = defaultStyle->second.jpegMs;
      std::printf("JPEG default style %d: %.3f ms (target <= %.2f) %s\n", kDefaultStyle, ms,
                  kDefaultStyleTargetMs, ms <= kDefaultStyleTargetMs ? "ok" : "MISSED");
    }
  }

  std::map<int, StyleTimes> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  StyleSummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
