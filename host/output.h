// The run's output: a readable per-frame table of the watched columns, or the same as CSV.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace eqm {

// One watched value of one frame: held as a whole number or as a double.
struct Cell {
    double value = 0.0;
    bool integer = false;
};

// Right-aligned columns: frame, time in seconds, then one per watched label. The frame and time
// columns are as wide as the last frame needs; a value wider than its column widens the column
// from its row on.
class TableWriter {
public:
    TableWriter(std::ostream &out, std::vector<std::string> labels, int32_t lastFrame = 0,
                double lastTime = 0.0);
    void header();
    void row(int32_t frame, double time, const std::vector<Cell> &cells);

private:
    std::ostream &out_;
    std::vector<std::string> labels_;
    std::vector<std::size_t> widths_;
    int frameWidth_ = 5;
    int timeWidth_ = 7;
};

// The same columns as comma-separated values, numbers in their shortest exact form.
class CsvWriter {
public:
    CsvWriter(std::ostream &out, std::vector<std::string> labels);
    void header();
    void row(int32_t frame, double time, const std::vector<Cell> &cells);

private:
    std::ostream &out_;
    std::vector<std::string> labels_;
};

// "%.3f" of a double, or the whole number.
std::string format_cell(const Cell &cell);
// The shortest text that reads back as exactly this double.
std::string exact_number(double value);

}  // namespace eqm
