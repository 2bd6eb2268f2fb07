// The gnuplot script of a plot: the data rides inline in a data block, so one pipe carries all.
#include "plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "output.h"

namespace eqm {

namespace {

// A gnuplot string in single quotes: only the quote itself needs doubling.
std::string gnuplot_text(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        if (c == '\n') {
            out += ' ';
            continue;
        }
        out += c;
    }
    return out + "'";
}

const char *const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};

}  // namespace

std::vector<std::size_t> plotted_rows(const std::vector<double> &values) {
    std::vector<std::size_t> rows;
    const std::size_t count = values.size();
    if (count <= 2 * kPlotBuckets) {
        for (std::size_t row = 0; row < count; ++row) rows.push_back(row);
        return rows;
    }
    // Each bucket keeps its least and its greatest value, in the order they came, so that no
    // spike between two kept points is lost.
    const std::size_t size = (count + kPlotBuckets - 1) / kPlotBuckets;
    for (std::size_t start = 0; start < count; start += size) {
        const std::size_t end = std::min(count, start + size);
        std::size_t least = start, most = start;
        for (std::size_t row = start; row < end; ++row) {
            if (values[row] < values[least] || std::isnan(values[least])) least = row;
            if (values[row] > values[most] || std::isnan(values[most])) most = row;
        }
        if (start == 0 && least != 0 && most != 0) rows.push_back(0);
        rows.push_back(std::min(least, most));
        if (least != most) rows.push_back(std::max(least, most));
        if (end == count && rows.back() != count - 1) rows.push_back(count - 1);
    }
    return rows;
}

std::string plot_format(const std::string &file) {
    std::string extension = std::filesystem::path(file).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".svg") return "svg";
    if (extension == ".png") return "png";
    return {};
}

std::string gnuplot_script(const PlotData &data, const std::string &output,
                           const std::string &format) {
    const std::size_t panels = std::max<std::size_t>(1, data.series.size());
    const int width = 960;
    const int height = 90 + 170 * static_cast<int>(panels);
    std::ostringstream script;
    script << "set encoding utf8\n";
    if (format == "png") {
        script << "set terminal pngcairo noenhanced size " << width << "," << height
               << " font 'Sans,10'\n";
    } else {
        script << "set terminal svg noenhanced size " << width << "," << height
               << " dynamic font 'Helvetica,11' background '#ffffff'\n";
    }
    script << "set output " << gnuplot_text(output) << "\n";
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        script << "$series" << i << " << EOD\n";
        for (std::size_t row : plotted_rows(data.series[i].values)) {
            script << data.frames[row] << ' ' << exact_number(data.series[i].values[row]) << '\n';
        }
        script << "EOD\n";
    }
    // Panels stacked top to bottom, each as wide as the page; the frame axis is labelled under
    // the last one.
    const double top = 1.0 - 60.0 / height;
    const double bottom = 45.0 / height;
    const double step = (top - bottom) / static_cast<double>(panels);
    script << "set multiplot title " << gnuplot_text(data.title) << " font ',14'\n";
    script << "set grid xtics ytics lc rgb '#dddddd'\n";
    script << "set border 3 lc rgb '#444444'\n";
    script << "set tics nomirror\n";
    script << "unset key\n";  // each panel's axis names its curve
    script << "set lmargin at screen 0.09\nset rmargin at screen 0.97\n";
    script << "set xrange [" << (data.frames.empty() ? 0 : data.frames.front()) << ":"
           << (data.frames.empty() ? 1 : std::max(data.frames.back(), data.frames.front() + 1))
           << "]\n";
    script << "set offsets 0, 0, graph 0.08, graph 0.08\n";
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        const PlotSeries &series = data.series[i];
        const double panelTop = top - step * static_cast<double>(i);
        script << "set tmargin at screen " << panelTop << "\n";
        script << "set bmargin at screen " << (panelTop - step + 28.0 / height) << "\n";
        script << "set ylabel " << gnuplot_text(series.label) << " offset 1,0\n";
        script << (i + 1 == data.series.size() ? "set xlabel 'frame' offset 0,0.5\n"
                                               : "unset xlabel\n");
        script << "plot $series" << i << " using 1:2 with " << (series.integer ? "steps" : "lines")
               << " lw 2 lc rgb '" << kColours[i % (sizeof kColours / sizeof kColours[0])]
               << "' title " << gnuplot_text(series.label) << "\n";
    }
    script << "unset multiplot\n";
    return script.str();
}

}  // namespace eqm
