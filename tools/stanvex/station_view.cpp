#include "station_view.h"

namespace stanvex::cli {
namespace {

// What fits one terminal line beside the label.
constexpr size_t kShownText = 60;

}  // namespace

StationView::StationView(std::FILE* out, bool terminal, bool quiet)
    : out_(out), terminal_(terminal), quiet_(quiet) {}

StationView::~StationView() { Draw(); }

size_t StationView::Add(const std::string& label) {
  lines_.push_back(Line{label, ""});
  changed_ = true;
  return lines_.size() - 1;
}

void StationView::Tell(size_t line, const std::string& text) {
  if (quiet_ || line >= lines_.size() || text.empty()) return;
  if (!terminal_) {
    std::fprintf(out_, "%s: %s\n", lines_[line].label.c_str(), text.c_str());
    return;
  }
  lines_[line].text = text;
  changed_ = true;
}

void StationView::Draw() {
  if (quiet_ || !terminal_ || !changed_) return;
  // Back to the view's first line, then each line rewritten and cleared to
  // its end.
  if (drawn_ > 0) std::fprintf(out_, "\033[%zuA", drawn_);
  for (const Line& line : lines_) {
    std::string text = line.text.size() > kShownText ? line.text.substr(0, kShownText - 3) + "..."
                                                     : line.text;
    std::fprintf(out_, "\r%s  %s\033[K\n", line.label.c_str(), text.c_str());
  }
  drawn_ = lines_.size();
  changed_ = false;
  std::fflush(out_);
}

}  // namespace stanvex::cli
