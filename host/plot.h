// The watched values over the frames as line charts, drawn by gnuplot: one panel per watch,
// stacked over a shared frame axis, under the scene's title.
#pragma once

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

// "svg" or "png" from the output file's extension, or empty for any other.
std::string plot_format(const std::string &file);

// The gnuplot script that draws `data` into `output` in `format` ("svg" or "png"), its data
// inline.
std::string gnuplot_script(const PlotData &data, const std::string &output,
                           const std::string &format);

}  // namespace eqm
