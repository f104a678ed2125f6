// The progress of several stations' retrievals at once: a line per station,
// redrawn in place on a terminal, plain lines (each with its station's name)
// otherwise.
#ifndef STANVEX_TOOLS_STATION_VIEW_H
#define STANVEX_TOOLS_STATION_VIEW_H

#include <cstdio>
#include <string>
#include <vector>

namespace stanvex::cli {

class StationView {
 public:
  // out: where the view goes (stderr); terminal: redraw in place; quiet:
  // show nothing.
  StationView(std::FILE* out, bool terminal, bool quiet);
  ~StationView();  // leaves the cursor below the view

  // Adds a station's line ("sima     12.3 km"), returns its number.
  size_t Add(const std::string& label);
  // The station's latest news: its line on a terminal (shown at the next
  // Draw), a plain line "label: text" otherwise.
  void Tell(size_t line, const std::string& text);
  // Redraws the lines that changed since the last call (terminal only).
  void Draw();
  // True on a terminal: every bit of news is worth its line there.
  bool redraws() const { return terminal_; }

 private:
  struct Line {
    std::string label;
    std::string text;
  };
  std::FILE* out_;
  bool terminal_;
  bool quiet_;
  bool changed_ = false;
  size_t drawn_ = 0;  // lines on screen
  std::vector<Line> lines_;
};

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_STATION_VIEW_H
