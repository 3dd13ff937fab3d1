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

// Per style image at 250 x 50: at most 6 ms for any style, 0.95 ms on average, 0.22 ms for
// the default. At 4000 x 800 at most 3 s, with a 1,000-character code at most 1 s.
constexpr double kSlowestTargetMs = 6.0;
constexpr double kMeanTargetMs = 0.95;
constexpr double kDefaultStyleTargetMs = 0.22;
constexpr double kLargeTargetMs = 3000.0;
constexpr double kLongCodeTargetMs = 1000.0;
constexpr int kDefaultStyle = 31;

struct StyleTimes {
  double jpegMs = -1;
  double pngMs = -1;
  double largeMs = -1;     // JPEG at 4000 x 800
  double longCodeMs = -1;  // JPEG of a 1,000-character code at 250 x 50
};

// "BM_CreateImageJpeg/style:31" -> format "Jpeg", style 31; "BM_CreateImageLarge/style:7"
// -> "Large".
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
      if (format == "Large") times_[style].largeMs = ToMilliseconds(run);
      if (format == "LongCode") times_[style].longCodeMs = ToMilliseconds(run);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.empty()) return;
    std::printf("\nPer style, CPU time per image (ms): 250 x 50 JPEG and PNG, then JPEG at 4000 x 800 and of a\n"
                "1,000-character code at 250 x 50:\n%5s %9s %9s %10s %9s %9s\n",
                "style", "JPEG", "PNG", "JPEG img/s", "4000x800", "1000 ch");
    // A format the run filtered out shows as "-".
    const auto cell = [](double ms) {
      char text[16] = "        -";
      if (ms >= 0) std::snprintf(text, sizeof text, "%9.3f", ms);
      return std::string(text);
    };
    for (const auto& [style, t] : times_) {
      std::printf("%5d %s %s %10.0f %s %s\n", style, cell(t.jpegMs).c_str(), cell(t.pngMs).c_str(),
                  t.jpegMs > 0 ? 1000.0 / t.jpegMs : 0.0, cell(t.largeMs).c_str(), cell(t.longCodeMs).c_str());
    }
    Summarise("JPEG", &StyleTimes::jpegMs);
    Summarise("PNG", &StyleTimes::pngMs);
    SummariseSlowest("JPEG at 4000 x 800", &StyleTimes::largeMs, kLargeTargetMs);
    SummariseSlowest("JPEG of a 1,000-character code", &StyleTimes::longCodeMs, kLongCodeTargetMs);
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
    std::printf("%s over %d styles: mean %.3f ms (target <= %.2f) %s; slowest style %d, %.3f ms (target <= %.0f) %s\n",
                format, count, mean, kMeanTargetMs, mean <= kMeanTargetMs ? "ok" : "MISSED", slowest,
                slowestMs, kSlowestTargetMs, slowestMs <= kSlowestTargetMs ? "ok" : "MISSED");
    const auto defaultStyle = times_.find(kDefaultStyle);
    if (field == &StyleTimes::jpegMs && defaultStyle != times_.end() && defaultStyle->second.jpegMs >= 0) {
      const double ms = defaultStyle->second.jpegMs;
      std::printf("JPEG default style %d: %.3f ms (target <= %.2f) %s\n", kDefaultStyle, ms,
                  kDefaultStyleTargetMs, ms <= kDefaultStyleTargetMs ? "ok" : "MISSED");
    }
  }

  void SummariseSlowest(const char* what, double StyleTimes::*field, double targetMs) const {
    int slowest = -1;
    double slowestMs = -1;
    for (const auto& [style, t] : times_) {
      if (t.*field > slowestMs) {
        slowestMs = t.*field;
        slowest = style;
      }
    }
    if (slowest < 0 || slowestMs < 0) return;
    std::printf("%s: slowest style %d, %.0f ms (target <= %.0f) %s\n", what, slowest, slowestMs, targetMs,
                slowestMs <= targetMs ? "ok" : "MISSED");
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
