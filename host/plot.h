// The watched values over the frames as line charts, drawn by gnuplot: one panel per watch,
// stacked over a shared frame axis, under the scene's title.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace eqm {

struct PlotSeries {
    std::string label;
    bool integer = false;  // drawn as steps
    std::vector<double> values;
};

struct PlotData {
    std::string title;
    double fps = 24.0;
    std::vector<int32_t> frames;
    std::vector<PlotSeries> series;
};

// A long run has more frames than a picture has pixels across: beyond twice this many frames,
// each of this many runs of frames keeps only its least and greatest value.
constexpr std::size_t kPlotBuckets = 2000;

// The rows of `values` a curve is drawn through: every one, or for a long run the first, the
// last, and each bucket's extremes, in frame order.
std::vector<std::size_t> plotted_rows(const std::vector<double> &values);

// "svg" or "png" from the output file's extension, or empty for any other.
std::string plot_format(const std::string &file);

// The gnuplot script that draws `data` into `output` in `format` ("svg" or "png"), its data
// inline.
std::string gnuplot_script(const PlotData &data, const std::string &output,
                           const std::string &format);

}  // namespace eqm
