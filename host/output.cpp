// Table and CSV writers for the run's per-frame output.
#include "output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace eqm {

std::string format_cell(const Cell &cell) {
    char buffer[400];  // the widest double in "%.3f" takes 309 digits and 4 more
    if (cell.integer) {
        std::snprintf(buffer, sizeof buffer, "%.0f", cell.value);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.3f", cell.value);
    }
    return buffer;
}

std::string exact_number(double value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc{} ? std::string(buffer, end) : std::string("nan");
}

namespace {

constexpr std::size_t kMinimumWidth = 10;

void pad(std::ostream &out, const std::string &text, std::size_t width) {
    if (text.size() < width) out << std::string(width - text.size(), ' ');
    out << text;
}

std::string csv_field(const std::string &text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

TableWriter::TableWriter(std::ostream &out, std::vector<std::string> labels, int32_t lastFrame,
                         double lastTime)
    : out_(out), labels_(std::move(labels)) {
    for (const std::string &label : labels_) {
        widths_.push_back(std::max(kMinimumWidth, label.size()));
    }
    char text[64];
    frameWidth_ = std::max(frameWidth_, std::snprintf(text, sizeof text, "%d", lastFrame));
    timeWidth_ = std::max(timeWidth_, std::snprintf(text, sizeof text, "%.3f", lastTime));
}

void TableWriter::header() {
    pad(out_, "frame", static_cast<std::size_t>(frameWidth_));
    out_ << ' ';
    pad(out_, "time", static_cast<std::size_t>(timeWidth_));
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        out_ << "  ";
        pad(out_, labels_[i], widths_[i]);
    }
    out_ << '\n';
}

void TableWriter::row(int32_t frame, double time, const std::vector<Cell> &cells) {
    char start[96];
    std::snprintf(start, sizeof start, "%*d %*.3f", frameWidth_, static_cast<int>(frame),
                  timeWidth_, time);
    out_ << start;
    for (std::size_t i = 0; i < cells.size() && i < widths_.size(); ++i) {
        out_ << "  ";
        const std::string text = format_cell(cells[i]);
        widths_[i] = std::max(widths_[i], text.size());
        pad(out_, text, widths_[i]);
    }
    out_ << '\n';
}

CsvWriter::CsvWriter(std::ostream &out, std::vector<std::string> labels)
    : out_(out), labels_(std::move(labels)) {}

void CsvWriter::header() {
    out_ << "frame,time";
    for (const std::string &label : labels_) out_ << ',' << csv_field(label);
    out_ << '\n';
}

void CsvWriter::row(int32_t frame, double time, const std::vector<Cell> &cells) {
    out_ << frame << ',' << exact_number(time);
    for (const Cell &cell : cells) {
        out_ << ',';
        if (cell.integer) {
            out_ << static_cast<long long>(cell.value);
        } else {
            out_ << exact_number(cell.value);
        }
    }
    out_ << '\n';
}

}  // namespace eqm
