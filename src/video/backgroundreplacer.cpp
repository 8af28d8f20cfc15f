#include "video/backgroundreplacer.h"

#include "platform/ffmpegsupport.h"
#include "platform/framedecoder.h"
#include "platform/mediaasset.h"
#include "platform/personsegmenter.h"
#include "recording/recordingsdirectory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QSettings>

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

struct Rgb {
    double r, g, b;
};

inline QRgb toRgb(double r, double g, double b) {
    auto channel = [](double v) {
        return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    return qRgb(channel(r), channel(g), channel(b));
}

// A smooth linear gradient (an S-curve between the two ends) from the
// bottom-left corner to the top-right one, in image coordinates whose origin is
// the top left.
QImage smoothDiagonal(QSize size, Rgb from, Rgb to) {
    QImage image(size, QImage::Format_RGB32);
    const double w = size.width();
    const double h = size.height();
    // Axis from (0, h) to (w, 0).
    const double ax = w;
    const double ay = -h;
    const double length2 = ax * ax + ay * ay;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5 - h;
            const double t = std::clamp((px * ax + py * ay) / length2, 0.0, 1.0);
            const double s = t * t * (3.0 - 2.0 * t);
            line[x] = toRgb(from.r + (to.r - from.r) * s, from.g + (to.g - from.g) * s,
                            from.b + (to.b - from.b) * s);
        }
    }
    return image;
}

// Fraction 0...1 of a radial gradient from the inner to the outer radius.
inline double radialFraction(double distance, double inner, double outer) {
    if (outer <= inner) {
        return distance <= inner ? 0.0 : 1.0;
    }
    return std::clamp((distance - inner) / (outer - inner), 0.0, 1.0);
}

QImage studio(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    const double w = size.width();
    const double h = size.height();
    const double r = std::hypot(w / 2.0, h / 2.0);
    const Rgb inner{0.32, 0.32, 0.34};
    const Rgb outer{0.04, 0.04, 0.05};
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double t = radialFraction(std::hypot(x + 0.5 - w / 2.0, y + 0.5 - h / 2.0),
                                            0.12 * r, 0.95 * r);
            line[x] = toRgb(inner.r + (outer.r - inner.r) * t, inner.g + (outer.g - inner.g) * t,
                            inner.b + (outer.b - inner.b) * t);
        }
    }
    return image;
}

QImage neon(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    const double w = size.width();
    const double h = size.height();
    const double m = std::min(w, h);
    struct Glow {
        double cx, cy; // image coordinates (origin top left)
        Rgb colour;
        double alpha;
    };
    // Centres given from the bottom left: (0.3 W, 0.15 H) and (0.72 W, 0.9 H).
    const std::array<Glow, 2> glows{Glow{0.3 * w, h - 0.15 * h, {0.0, 0.85, 0.9}, 0.55},
                                    Glow{0.72 * w, h - 0.9 * h, {0.85, 0.15, 0.85}, 0.5}};
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            Rgb c{0.03, 0.03, 0.1};
            for (const Glow& glow : glows) {
                const double d = std::hypot(x + 0.5 - glow.cx, y + 0.5 - glow.cy);
                const double a = glow.alpha * (1.0 - radialFraction(d, 0.0, 0.85 * m));
                c = {glow.colour.r * a + c.r * (1 - a), glow.colour.g * a + c.g * (1 - a),
                     glow.colour.b * a + c.b * (1 - a)};
            }
            line[x] = toRgb(c.r, c.g, c.b);
        }
    }
    return image;
}

// Separable box blur with edges repeated outwards, on 8-bit RGB32 pixels.
void boxBlurPass(const QImage& source, QImage& target, int radius, bool horizontal) {
    const int w = source.width();
    const int h = source.height();
    const int lines = horizontal ? h : w;
    const int length = horizontal ? w : h;
    const int window = 2 * radius + 1;
    const auto* src = reinterpret_cast<const QRgb*>(source.constBits());
    auto* dst = reinterpret_cast<QRgb*>(target.bits());
    const qsizetype stride = source.bytesPerLine() / 4;
    const qsizetype step = horizontal ? 1 : stride;
    for (int line = 0; line < lines; ++line) {
        const QRgb* in = horizontal ? src + line * stride : src + line;
        QRgb* out = horizontal ? dst + line * stride : dst + line;
        auto at = [&](int i) { return in[std::clamp(i, 0, length - 1) * step]; };
        int r = 0, g = 0, b = 0;
        for (int i = -radius; i <= radius; ++i) {
            const QRgb p = at(i);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
        }
        // Division by the window as a multiplication (exact for these sums).
        const int inverse = (1 << 22) / window + 1;
        for (int i = 0; i < length; ++i) {
            out[i * step] = qRgb((r * inverse) >> 22, (g * inverse) >> 22, (b * inverse) >> 22);
            const QRgb add = at(i + radius + 1);
            const QRgb remove = at(i - radius);
            r += qRed(add) - qRed(remove);
            g += qGreen(add) - qGreen(remove);
            b += qBlue(add) - qBlue(remove);
        }
    }
}

// The frame at a quarter of its width and height, each pixel the mean of a
// 4x4 block.
QImage quarterSize(const QImage& frame) {
    const int w = std::max(1, frame.width() / 4);
    const int h = std::max(1, frame.height() / 4);
    QImage out(w, h, QImage::Format_RGB32);
    if (frame.width() < 4 || frame.height() < 4) {
        return frame.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    }
    // Four rows summed byte by byte first (a loop that vectorises), then
    // each block's four columns.
    const size_t bytes = static_cast<size_t>(w) * 16;
    std::vector<uint16_t> sums(bytes);
    for (int y = 0; y < h; ++y) {
        const uint8_t* r0 = frame.constScanLine(4 * y);
        const uint8_t* r1 = frame.constScanLine(4 * y + 1);
        const uint8_t* r2 = frame.constScanLine(4 * y + 2);
        const uint8_t* r3 = frame.constScanLine(4 * y + 3);
        for (size_t i = 0; i < bytes; ++i) {
            sums[i] = static_cast<uint16_t>(r0[i] + r1[i] + r2[i] + r3[i]);
        }
        uint8_t* line = out.scanLine(y);
        for (size_t x = 0; x < static_cast<size_t>(w); ++x) {
            const uint16_t* s = sums.data() + 16 * x;
            for (size_t c = 0; c < 4; ++c) {
                line[4 * x + c] =
                    static_cast<uint8_t>((s[c] + s[c + 4] + s[c + 8] + s[c + 12] + 8) >> 4);
            }
        }
    }
    return out;
}

// A Gaussian blur of `sigma` pixels (edges clamped) of a picture, with three
// box passes each way.
QImage gaussianBlur(QImage image, double sigma) {
    QImage scratch(image.size(), QImage::Format_RGB32);
    // Three boxes of width 2r+1 approximate a Gaussian of sigma^2 = (w^2 - 1) / 4.
    const int radius = std::max(
        1, static_cast<int>(std::lround((std::sqrt(4.0 * sigma * sigma + 1.0) - 1.0) / 2.0)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurPass(image, scratch, radius, true);
        boxBlurPass(scratch, image, radius, false);
    }
    return image;
}

// Bilinear sampling positions (half-pixel centres, edges clamped) of a source
// axis of `from` samples for `to` output samples; weights in 1/256.
struct Axis {
    std::vector<int> first;
    std::vector<int> second;
    std::vector<int> weight;

    Axis(int from, int to)
        : first(to)
        , second(to)
        , weight(to) {
        const double scale = double(from) / to;
        for (int i = 0; i < to; ++i) {
            const double position = std::clamp((i + 0.5) * scale - 0.5, 0.0, double(from - 1));
            first[i] = static_cast<int>(position);
            second[i] = std::min(first[i] + 1, from - 1);
            weight[i] = static_cast<int>(std::lround((position - first[i]) * 256.0));
        }
    }
};

// A picture scaled up bilinearly one output row at a time. Each source row is
// interpolated across once (x256 fixed point, cached), so an output row costs
// one interpolation between two cached rows.
class RowUpsampler {
public:
    RowUpsampler(const QImage& source, QSize target, int channels)
        : m_source(source)
        , m_x(source.width(), target.width())
        , m_y(source.height(), target.height())
        , m_channels(channels)
        , m_width(target.width())
        , m_rows(static_cast<size_t>(source.height())) {}

    // Output row `y`, `channels` bytes per pixel: a grey value, or the four
    // bytes of an RGB32 pixel in memory order.
    void row(int y, uint8_t* out) {
        const uint16_t* a = sourceRow(m_y.first[y]);
        const uint16_t* b = sourceRow(m_y.second[y]);
        const uint32_t fy = static_cast<uint32_t>(m_y.weight[y]);
        const size_t n = static_cast<size_t>(m_width) * m_channels;
        for (size_t i = 0; i < n; ++i) {
            out[i] = static_cast<uint8_t>((a[i] * (256 - fy) + b[i] * fy + 32768) >> 16);
        }
    }

private:
    const uint16_t* sourceRow(int y) {
        std::vector<uint16_t>& row = m_rows[static_cast<size_t>(y)];
        if (!row.empty()) {
            return row.data();
        }
        row.resize(static_cast<size_t>(m_width) * m_channels);
        const uchar* line = m_source.constScanLine(y);
        for (int x = 0; x < m_width; ++x) {
            const int fx = m_x.weight[x];
            for (int c = 0; c < m_channels; ++c) {
                const int v0 = sample(line, m_x.first[x], c);
                const int v1 = sample(line, m_x.second[x], c);
                row[static_cast<size_t>(x) * m_channels + c] =
                    static_cast<uint16_t>(v0 * (256 - fx) + v1 * fx);
            }
        }
        return row.data();
    }
    int sample(const uchar* line, int x, int channel) const {
        return line[static_cast<size_t>(x) * m_channels + channel];
    }

    const QImage& m_source;
    Axis m_x;
    Axis m_y;
    int m_channels;
    int m_width;
    std::vector<std::vector<uint16_t>> m_rows;
};

// RGB32 rows to the encoder's 4:2:0 planes with the BT.601 matrix, in full
// (JPEG) or video range, two rows at a time. Done here rather than by
// libswscale, whose RGB to YUV path took a quarter of a CPU second per second
// of 1080p video, more than the blend itself; these loops are plain 16-bit
// arithmetic on byte arrays and run on vector registers.
class PlanarConverter {
public:
    PlanarConverter(int width, bool fullRange)
        : m_width(width)
        , m_fullRange(fullRange)
        , m_padded(static_cast<size_t>((width + 1) & ~1))
        , m_r{std::vector<uint8_t>(m_padded), std::vector<uint8_t>(m_padded)}
        , m_g{std::vector<uint8_t>(m_padded), std::vector<uint8_t>(m_padded)}
        , m_b{std::vector<uint8_t>(m_padded), std::vector<uint8_t>(m_padded)} {}

    // `bottom` is null for the last row of an odd height.
    void convert(const uint8_t* top, const uint8_t* bottom, AVFrame* frame, int y) {
        split(top, 0);
        luma(0, frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0]);
        if (bottom) {
            split(bottom, 1);
            luma(1, frame->data[0] + static_cast<ptrdiff_t>(y + 1) * frame->linesize[0]);
        }
        const int row = bottom ? 1 : 0;
        const ptrdiff_t chromaLine = y / 2;
        chroma(row, frame->data[1] + chromaLine * frame->linesize[1],
               frame->data[2] + chromaLine * frame->linesize[2]);
    }

private:
    void split(const uint8_t* pixels, int row) {
        uint8_t* r = m_r[row].data();
        uint8_t* g = m_g[row].data();
        uint8_t* b = m_b[row].data();
        const size_t n = static_cast<size_t>(m_width);
        for (size_t x = 0; x < n; ++x) {
            // RGB32 in memory: blue, green, red, padding.
            b[x] = pixels[4 * x];
            g[x] = pixels[4 * x + 1];
            r[x] = pixels[4 * x + 2];
        }
        if (m_padded > n) {
            r[n] = r[n - 1];
            g[n] = g[n - 1];
            b[n] = b[n - 1];
        }
    }

    void luma(int row, uint8_t* out) const {
        const uint8_t* r = m_r[row].data();
        const uint8_t* g = m_g[row].data();
        const uint8_t* b = m_b[row].data();
        const size_t n = static_cast<size_t>(m_width);
        if (m_fullRange) {
            for (size_t x = 0; x < n; ++x) {
                out[x] = static_cast<uint8_t>(
                    static_cast<uint16_t>(77 * r[x] + 150 * g[x] + 29 * b[x] + 128) >> 8);
            }
        } else {
            for (size_t x = 0; x < n; ++x) {
                out[x] = static_cast<uint8_t>(
                    16 + (static_cast<uint16_t>(66 * r[x] + 129 * g[x] + 25 * b[x] + 128) >> 8));
            }
        }
    }

    // Each chroma sample from the mean colour of its 2x2 block (`rows` is 1
    // when there are two rows).
    void chroma(int rows, uint8_t* cbOut, uint8_t* crOut) const {
        const uint8_t* r0 = m_r[0].data();
        const uint8_t* g0 = m_g[0].data();
        const uint8_t* b0 = m_b[0].data();
        const uint8_t* r1 = m_r[rows].data();
        const uint8_t* g1 = m_g[rows].data();
        const uint8_t* b1 = m_b[rows].data();
        const size_t n = m_padded / 2;
        // Coefficients x256: full range {Cb: -43 -85 128, Cr: 128 -107 -21},
        // video range {Cb: -38 -74 112, Cr: 112 -94 -18}.
        const int cbR = m_fullRange ? -43 : -38;
        const int cbG = m_fullRange ? -85 : -74;
        const int cbB = m_fullRange ? 128 : 112;
        const int crR = cbB;
        const int crG = m_fullRange ? -107 : -94;
        const int crB = m_fullRange ? -21 : -18;
        for (size_t x = 0; x < n; ++x) {
            const int r = (r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1] + 2) >> 2;
            const int g = (g0[2 * x] + g0[2 * x + 1] + g1[2 * x] + g1[2 * x + 1] + 2) >> 2;
            const int b = (b0[2 * x] + b0[2 * x + 1] + b1[2 * x] + b1[2 * x + 1] + 2) >> 2;
            cbOut[x] = static_cast<uint8_t>(128 + ((cbR * r + cbG * g + cbB * b + 128) >> 8));
            crOut[x] = static_cast<uint8_t>(128 + ((crR * r + crG * g + crB * b + 128) >> 8));
        }
    }

    int m_width;
    bool m_fullRange;
    size_t m_padded;
    std::array<std::vector<uint8_t>, 2> m_r;
    std::array<std::vector<uint8_t>, 2> m_g;
    std::array<std::vector<uint8_t>, 2> m_b;
};

// The frame as recorded, into the encoder's planes.
void convertFrame(const QImage& frame, PlanarConverter& converter, AVFrame* out) {
    for (int y = 0; y < out->height; y += 2) {
        converter.convert(frame.constScanLine(y),
                          y + 1 < out->height ? frame.constScanLine(y + 1) : nullptr, out, y);
    }
}

// Blends the frame over the background through the mask (white keeps the
// frame) into the encoder's planes. The mask and the background may be
// smaller than the frame: both are scaled up bilinearly on the way. Every byte
// of an RGB32 row is mixed alike, in 16-bit arithmetic, so the loop runs on
// vector registers.
void blend(const QImage& frame, const QImage& background, const QImage& mask,
           PlanarConverter& converter, AVFrame* out) {
    const int w = frame.width();
    const size_t bytes = static_cast<size_t>(w) * 4;
    RowUpsampler maskRows(mask, frame.size(), 1);
    std::vector<uint8_t> alpha(static_cast<size_t>(w));
    std::vector<uint8_t> alpha4(bytes);
    std::optional<RowUpsampler> backRows;
    std::vector<uint8_t> back;
    if (background.size() != frame.size()) {
        backRows.emplace(background, frame.size(), 4);
        back.resize(bytes);
    }
    std::array<std::vector<uint8_t>, 2> rows{std::vector<uint8_t>(bytes),
                                             std::vector<uint8_t>(bytes)};
    auto blendRow = [&](int y, uint8_t* o) {
        maskRows.row(y, alpha.data());
        for (int x = 0; x < w; ++x) {
            std::memset(alpha4.data() + 4 * x, alpha[x], 4);
        }
        const uint8_t* b = back.data();
        if (backRows) {
            backRows->row(y, back.data());
        } else {
            b = background.constScanLine(y);
        }
        const uint8_t* f = frame.constScanLine(y);
        const uint8_t* a = alpha4.data();
        for (size_t i = 0; i < bytes; ++i) {
            // f * a + b * (255 - a), divided by 255 with rounding.
            const auto t = static_cast<uint16_t>(f[i] * a[i] + b[i] * (255 - a[i]) + 128);
            o[i] = static_cast<uint8_t>((t + (t >> 8)) >> 8);
        }
    };
    for (int y = 0; y < out->height; y += 2) {
        blendRow(y, rows[0].data());
        const bool pair = y + 1 < out->height;
        if (pair) {
            blendRow(y + 1, rows[1].data());
        }
        converter.convert(rows[0].data(), pair ? rows[1].data() : nullptr, out, y);
    }
}

// Temporal smoothing, feathering and the 8-bit mask at model resolution.
class MaskFilter {
public:
    explicit MaskFilter(bool smoothing)
        : m_smoothing(smoothing) {}

    void reset() { m_previous.clear(); }

    // Returns the mask as an 8-bit image of the model's size.
    QImage apply(const PersonMask& raw, bool cut) {
        const int w = raw.width;
        const int h = raw.height;
        std::vector<float> current = raw.values;
        if (m_smoothing && !cut && m_previous.size() == current.size()) {
            // Small changes (noise) are mostly held back; large ones (real
            // motion) come through at once, so edges neither flicker nor lag.
            for (size_t i = 0; i < current.size(); ++i) {
                const float d = current[i] - m_previous[i];
                const float weight = std::min(1.0f, 0.3f + 1.4f * std::abs(d));
                current[i] = m_previous[i] + d * weight;
            }
        }
        if (m_final.size() == current.size() && !cut) {
            double change = 0.0;
            for (size_t i = 0; i < current.size(); ++i) {
                change += std::abs(current[i] - m_final[i]);
            }
            m_changeSum += change / static_cast<double>(current.size());
            ++m_changeCount;
        }
        m_previous = current;
        m_final = current;
        // Feather: a [1 2 1] kernel each way at model resolution.
        std::vector<float> tmp(current.size());
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const float* row = current.data() + static_cast<size_t>(y) * w;
                tmp[static_cast<size_t>(y) * w + x] = 0.25f * row[std::max(x - 1, 0)] +
                                                      0.5f * row[x] +
                                                      0.25f * row[std::min(x + 1, w - 1)];
            }
        }
        QImage mask(w, h, QImage::Format_Grayscale8);
        for (int y = 0; y < h; ++y) {
            const float* up = tmp.data() + static_cast<size_t>(std::max(y - 1, 0)) * w;
            const float* mid = tmp.data() + static_cast<size_t>(y) * w;
            const float* down = tmp.data() + static_cast<size_t>(std::min(y + 1, h - 1)) * w;
            uchar* line = mask.scanLine(y);
            for (int x = 0; x < w; ++x) {
                const float v = 0.25f * up[x] + 0.5f * mid[x] + 0.25f * down[x];
                // Firm up the inside and the outside; keep a soft rim, set a
                // little inside the model's boundary so no halo of the old
                // background shows around the person.
                const float t = std::clamp((v - 0.35f) / 0.5f, 0.0f, 1.0f);
                line[x] = static_cast<uchar>(std::lround(t * t * (3.0f - 2.0f * t) * 255.0f));
            }
        }
        return mask;
    }

    double meanChange() const { return m_changeCount ? m_changeSum / m_changeCount : 0.0; }

private:
    bool m_smoothing;
    std::vector<float> m_previous;
    std::vector<float> m_final;
    double m_changeSum = 0.0;
    int m_changeCount = 0;
};

// A cut: the small picture changed on average by more than a sixth.
bool isCut(const QImage& previous, const QImage& current) {
    if (previous.isNull() || previous.size() != current.size()) {
        return true;
    }
    qint64 sum = 0;
    for (int y = 0; y < current.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(previous.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(current.constScanLine(y));
        for (int x = 0; x < current.width(); ++x) {
            sum += std::abs(qGray(a[x]) - qGray(b[x]));
        }
    }
    return sum > qint64(current.width()) * current.height() * 255 / 6;
}

MediaError replacerError(int code, const QString& text) {
    return MediaError{BackgroundReplacer::errorDomain, code, text};
}

// A bounded queue between the compositing and the encoding thread.
template <typename T>
class FrameQueue {
public:
    explicit FrameQueue(size_t capacity)
        : m_capacity(capacity) {}

    bool push(T item) {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_items.size() < m_capacity || m_closed; });
        if (m_closed) {
            return false;
        }
        m_items.push_back(std::move(item));
        m_ready.notify_one();
        return true;
    }
    std::optional<T> pop() {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return !m_items.empty() || m_closed; });
        if (m_items.empty()) {
            return std::nullopt;
        }
        T item = std::move(m_items.front());
        m_items.pop_front();
        m_space.notify_one();
        return item;
    }
    // No more pushes; pop drains what is left.
    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_ready.notify_all();
        m_space.notify_all();
    }

private:
    size_t m_capacity;
    std::deque<T> m_items;
    bool m_closed = false;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
};

// The encoder's input pictures, used again once the encoder has let go of
// them: a fresh 1080p picture per frame costs the kernel more than the
// blend's own work.
class FramePool {
public:
    FramePool(QSize size, AVPixelFormat format)
        : m_size(size)
        , m_format(format) {}

    ffmpeg::FramePtr take() {
        for (const auto& frame : m_frames) {
            // Only the pool holds its buffers: the encoder is done with it.
            if (av_frame_is_writable(frame.get())) {
                return reference(frame.get());
            }
        }
        ffmpeg::FramePtr frame = ffmpeg::makeFrame();
        frame->format = m_format;
        frame->width = m_size.width();
        frame->height = m_size.height();
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return nullptr;
        }
        if (m_frames.size() == maxFrames) {
            return frame;
        }
        m_frames.push_back(std::move(frame));
        return reference(m_frames.back().get());
    }

private:
    // The frame queue, the one being encoded and the one being made.
    static constexpr size_t maxFrames = 7;

    static ffmpeg::FramePtr reference(const AVFrame* frame) {
        ffmpeg::FramePtr copy = ffmpeg::makeFrame();
        if (av_frame_ref(copy.get(), frame) < 0) {
            return nullptr;
        }
        return copy;
    }

    QSize m_size;
    AVPixelFormat m_format;
    std::vector<ffmpeg::FramePtr> m_frames;
};

struct EncodedFrame {
    ffmpeg::FramePtr frame;
    double time = 0.0;
};

// Encoder and muxer of the output: the processed video, and the recording's
// audio packets copied as they are.
class Writer {
public:
    Expected<Done, MediaError> open(const QString& input, const QString& output, QSize size,
                                    double frameRate, const BackgroundReplacer::Options& options) {
        auto in = ffmpeg::openInput(input);
        if (!in) {
            return Unexpected(in.error());
        }
        m_input = std::move(*in);
        m_audioIn = ffmpeg::firstStream(m_input.get(), AVMEDIA_TYPE_AUDIO);
        const int videoIn = ffmpeg::firstStream(m_input.get(), AVMEDIA_TYPE_VIDEO);

        AVFormatContext* raw = nullptr;
        const QByteArray path = QFile::encodeName(output);
        if (avformat_alloc_output_context2(&raw, nullptr, "mov", path.constData()) < 0 || !raw) {
            return Unexpected(BackgroundReplacer::startError());
        }
        m_output.reset(raw);
        const bool mjpeg = options.codec == BackgroundReplacer::Options::Codec::mjpeg;
        const AVCodec* codec = mjpeg ? avcodec_find_encoder(AV_CODEC_ID_MJPEG)
                                     : avcodec_find_encoder_by_name("libx264");
        if (!codec) {
            return Unexpected(BackgroundReplacer::startError());
        }
        // libx264 encodes 4:2:0 in whole chroma blocks only.
        const QSize encoded = mjpeg ? size : QSize(size.width() & ~1, size.height() & ~1);
        if (encoded.isEmpty()) {
            return Unexpected(BackgroundReplacer::startError());
        }
        m_encoder.reset(avcodec_alloc_context3(codec));
        const AVRational rate = av_d2q(frameRate > 0 ? frameRate : 30.0, 1000000);
        m_timeBase = videoIn >= 0 ? m_input->streams[videoIn]->time_base : av_inv_q(rate);
        m_frameDuration = av_rescale_q(1, av_inv_q(rate), m_timeBase);
        m_encoder->width = encoded.width();
        m_encoder->height = encoded.height();
        m_encoder->time_base = m_timeBase;
        m_encoder->framerate = rate;
        m_encoder->sample_aspect_ratio = AVRational{1, 1};
        m_encoder->thread_count = options.threads;
        m_encoder->color_range = mjpeg ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        m_encoder->colorspace = AVCOL_SPC_SMPTE170M;
        m_encoder->color_primaries = AVCOL_PRI_SMPTE170M;
        m_encoder->color_trc = AVCOL_TRC_SMPTE170M;
        if (mjpeg) {
            // High quality, as the renderer decodes this file and encodes it
            // again at CRF 21. Measured on a noisy 1080p recording: q3 keeps
            // 44.4 dB PSNR (q2 45.9 dB) for 13% less encoding time and a third
            // less file; the difference does not survive the final encode.
            m_encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
            m_encoder->flags |= AV_CODEC_FLAG_QSCALE;
            m_encoder->global_quality = FF_QP2LAMBDA * 3;
            m_encoder->qmin = m_encoder->qmax = 3;
        } else {
            m_encoder->pix_fmt = AV_PIX_FMT_YUV420P;
            av_opt_set(m_encoder->priv_data, "preset", "veryfast", 0);
            av_opt_set(m_encoder->priv_data, "crf", "16", 0);
        }
        if (m_output->oformat->flags & AVFMT_GLOBALHEADER) {
            m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (int rc = avcodec_open2(m_encoder.get(), codec, nullptr); rc < 0) {
            return Unexpected(ffmpeg::error(rc, u"Could not start the video encoder"_s));
        }
        m_videoOut = avformat_new_stream(m_output.get(), nullptr);
        if (!m_videoOut) {
            return Unexpected(BackgroundReplacer::startError());
        }
        avcodec_parameters_from_context(m_videoOut->codecpar, m_encoder.get());
        m_videoOut->time_base = m_timeBase;
        m_videoOut->avg_frame_rate = rate;
        if (m_audioIn >= 0) {
            m_audioOut = avformat_new_stream(m_output.get(), nullptr);
            if (!m_audioOut) {
                return Unexpected(BackgroundReplacer::startError());
            }
            avcodec_parameters_copy(m_audioOut->codecpar, m_input->streams[m_audioIn]->codecpar);
            m_audioOut->codecpar->codec_tag = 0;
            m_audioOut->time_base = m_input->streams[m_audioIn]->time_base;
        }
        if (!(m_output->oformat->flags & AVFMT_NOFILE)) {
            if (int rc = avio_open(&m_output->pb, path.constData(), AVIO_FLAG_WRITE); rc < 0) {
                return Unexpected(ffmpeg::error(rc, u"Could not write %1"_s.arg(output)));
            }
        }
        if (int rc = avformat_write_header(m_output.get(), nullptr); rc < 0) {
            return Unexpected(ffmpeg::error(rc, u"Could not write %1"_s.arg(output)));
        }
        m_packet = ffmpeg::makePacket();
        return Done{};
    }

    // What write() takes: pictures of this size and format, BT.601, full
    // range when fullRange().
    QSize encodedSize() const { return {m_encoder->width, m_encoder->height}; }
    AVPixelFormat pixelFormat() const { return m_encoder->pix_fmt; }
    bool fullRange() const { return m_encoder->color_range == AVCOL_RANGE_JPEG; }

    Expected<Done, MediaError> write(const EncodedFrame& frame) {
        int64_t pts = std::llround(frame.time / av_q2d(m_timeBase));
        if (m_lastPts != AV_NOPTS_VALUE && pts <= m_lastPts) {
            pts = m_lastPts + 1;
        }
        m_lastPts = pts;
        frame.frame->pts = pts;
        if (auto audio = copyAudioUntil(frame.time); !audio) {
            return audio;
        }
        return encode(frame.frame.get());
    }

    Expected<Done, MediaError> finish() {
        if (auto flushed = encode(nullptr); !flushed) {
            return flushed;
        }
        if (auto audio = copyAudioUntil(std::numeric_limits<double>::infinity()); !audio) {
            return audio;
        }
        if (int rc = av_write_trailer(m_output.get()); rc < 0) {
            return Unexpected(ffmpeg::error(rc, u"Could not finish the movie"_s));
        }
        return Done{};
    }

    ~Writer() {
        if (m_output && !(m_output->oformat->flags & AVFMT_NOFILE) && m_output->pb) {
            avio_closep(&m_output->pb);
        }
    }

private:
    struct OutputDeleter {
        void operator()(AVFormatContext* context) const { avformat_free_context(context); }
    };

    Expected<Done, MediaError> encode(AVFrame* frame) {
        if (int rc = avcodec_send_frame(m_encoder.get(), frame); rc < 0) {
            return Unexpected(ffmpeg::error(rc, u"Could not encode the video"_s));
        }
        while (true) {
            const int rc = avcodec_receive_packet(m_encoder.get(), m_packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
                return Done{};
            }
            if (rc < 0) {
                return Unexpected(ffmpeg::error(rc, u"Could not encode the video"_s));
            }
            m_packet->duration = m_frameDuration;
            av_packet_rescale_ts(m_packet.get(), m_timeBase, m_videoOut->time_base);
            m_packet->stream_index = m_videoOut->index;
            if (int w = av_interleaved_write_frame(m_output.get(), m_packet.get()); w < 0) {
                return Unexpected(ffmpeg::error(w, u"Could not write the movie"_s));
            }
        }
    }

    // Audio packets up to `seconds` go to the muxer unchanged.
    Expected<Done, MediaError> copyAudioUntil(double seconds) {
        if (m_audioIn < 0 || m_audioDone) {
            return Done{};
        }
        const AVRational tb = m_input->streams[m_audioIn]->time_base;
        while (true) {
            if (!m_pending) {
                ffmpeg::PacketPtr packet = ffmpeg::makePacket();
                const int rc = av_read_frame(m_input.get(), packet.get());
                if (rc == AVERROR_EOF) {
                    m_audioDone = true;
                    return Done{};
                }
                if (rc < 0) {
                    return Unexpected(ffmpeg::error(rc, u"Could not read the audio"_s));
                }
                if (packet->stream_index != m_audioIn) {
                    continue;
                }
                m_pending = std::move(packet);
            }
            const int64_t ts = m_pending->dts != AV_NOPTS_VALUE ? m_pending->dts : m_pending->pts;
            if (ts != AV_NOPTS_VALUE && ts * av_q2d(tb) > seconds) {
                return Done{};
            }
            av_packet_rescale_ts(m_pending.get(), tb, m_audioOut->time_base);
            m_pending->stream_index = m_audioOut->index;
            m_pending->pos = -1;
            const int rc = av_interleaved_write_frame(m_output.get(), m_pending.get());
            m_pending.reset();
            if (rc < 0) {
                return Unexpected(ffmpeg::error(rc, u"Could not write the movie"_s));
            }
        }
    }

    ffmpeg::FormatContextPtr m_input;
    std::unique_ptr<AVFormatContext, OutputDeleter> m_output;
    ffmpeg::CodecContextPtr m_encoder;
    ffmpeg::PacketPtr m_packet;
    ffmpeg::PacketPtr m_pending;
    AVStream* m_videoOut = nullptr;
    AVStream* m_audioOut = nullptr;
    AVRational m_timeBase{1, 30};
    int64_t m_frameDuration = 1;
    int64_t m_lastPts = AV_NOPTS_VALUE;
    int m_audioIn = -1;
    bool m_audioDone = false;
};

} // namespace

MediaError BackgroundReplacer::imageLoadError() {
    return replacerError(1, u"The background image could not be loaded."_s);
}

MediaError BackgroundReplacer::startError() {
    return replacerError(2, u"Could not start background processing."_s);
}

const QList<BackgroundReplacer::Preset>& BackgroundReplacer::allPresets() {
    static const QList<Preset> presets{Preset::midnight, Preset::sunset, Preset::neon,
                                       Preset::studio, Preset::mint};
    return presets;
}

QString BackgroundReplacer::rawValue(Preset preset) {
    switch (preset) {
    case Preset::midnight:
        return u"midnight"_s;
    case Preset::sunset:
        return u"sunset"_s;
    case Preset::neon:
        return u"neon"_s;
    case Preset::studio:
        return u"studio"_s;
    case Preset::mint:
        return u"mint"_s;
    }
    return QString();
}

std::optional<BackgroundReplacer::Preset>
BackgroundReplacer::presetFromRawValue(const QString& raw) {
    for (Preset preset : allPresets()) {
        if (rawValue(preset) == raw) {
            return preset;
        }
    }
    return std::nullopt;
}

QString BackgroundReplacer::label(Preset preset) {
    switch (preset) {
    case Preset::midnight:
        return u"Midnight"_s;
    case Preset::sunset:
        return u"Sunset"_s;
    case Preset::neon:
        return u"Neon Glow"_s;
    case Preset::studio:
        return u"Studio Dark"_s;
    case Preset::mint:
        return u"Mint Wave"_s;
    }
    return QString();
}

std::optional<BackgroundReplacer::Mode> BackgroundReplacer::currentMode(const QSettings& settings) {
    const QString mode = settings.value(modeKey).toString();
    if (mode == blurModeValue) {
        return Mode::blur();
    }
    if (mode == imageModeValue) {
        const QString path = settings.value(imagePathKey).toString();
        if (!path.isEmpty() && QFileInfo(path).isFile()) {
            return Mode::image(QUrl::fromLocalFile(path));
        }
        return std::nullopt;
    }
    if (mode == presetModeValue) {
        if (auto preset = presetFromRawValue(settings.value(presetKey).toString())) {
            return Mode::fromPreset(*preset);
        }
    }
    return std::nullopt;
}

QImage BackgroundReplacer::backdrop(Preset preset, QSize size) {
    if (size.isEmpty()) {
        return QImage();
    }
    switch (preset) {
    case Preset::midnight:
        return smoothDiagonal(size, {0.05, 0.07, 0.22}, {0.38, 0.1, 0.5});
    case Preset::sunset:
        return smoothDiagonal(size, {0.98, 0.45, 0.22}, {0.45, 0.12, 0.55});
    case Preset::neon:
        return neon(size);
    case Preset::studio:
        return studio(size);
    case Preset::mint:
        return smoothDiagonal(size, {0.08, 0.72, 0.62}, {0.05, 0.18, 0.48});
    }
    return QImage();
}

QImage BackgroundReplacer::presetSwatch(Preset preset) {
    static QMutex mutex;
    static std::array<QImage, 5> cache;
    QMutexLocker lock(&mutex);
    QImage& slot = cache[static_cast<size_t>(preset)];
    if (slot.isNull()) {
        slot = backdrop(preset, swatchSize);
    }
    return slot;
}

QImage BackgroundReplacer::coverImage(const QImage& picture, QSize size) {
    if (picture.isNull() || size.isEmpty()) {
        return QImage();
    }
    QImage scaled = picture;
    if (picture.width() > 0 && picture.height() > 0) {
        const double scale = std::max(double(size.width()) / picture.width(),
                                      double(size.height()) / picture.height());
        const QSize target(
            std::max(size.width(), int(std::ceil(picture.width() * scale - 1e-6))),
            std::max(size.height(), int(std::ceil(picture.height() * scale - 1e-6))));
        scaled = picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const QRect crop((scaled.width() - size.width()) / 2, (scaled.height() - size.height()) / 2,
                     size.width(), size.height());
    return scaled.copy(crop).convertToFormat(QImage::Format_RGB32);
}

JobResult<BackgroundReplacer::Result>
BackgroundReplacer::replace(const QString& input, const Mode& mode, const QImage& picture,
                            const QString& output, JobControl& control, const Options& options) {
    struct RemoveOnFailure {
        QString path;
        bool keep = false;
        ~RemoveOnFailure() {
            if (!keep) {
                QFile::remove(path);
            }
        }
    } guard{output};

    const MediaAsset asset(input);
    auto info = asset.load();
    if (!info) {
        return Unexpected(info.error());
    }
    if (info->videoTracks.isEmpty()) {
        return Unexpected(MediaError{MediaError::mediaDomain, AVERROR_STREAM_NOT_FOUND,
                                     u"The recording has no video track."_s});
    }
    if (mode.kind == Mode::Kind::image && picture.isNull()) {
        return Unexpected(imageLoadError());
    }
    auto segmenter = PersonSegmenter::load(
        options.modelPath.isEmpty() ? PersonSegmenter::defaultModelPath() : options.modelPath);
    if (!segmenter) {
        return Unexpected(replacerError(3, segmenter.error()));
    }
    auto decoder = FrameDecoder::create(asset, FrameDecoder::Options{});
    if (!decoder) {
        return Unexpected(decoder.error());
    }
    const QSize size = (*decoder)->outputSize();
    if (size.isEmpty()) {
        return Unexpected(startError());
    }
    Writer writer;
    if (auto opened =
            writer.open(input, output, size, info->videoTracks.first().frameRate, options);
        !opened) {
        return Unexpected(opened.error());
    }

    // Backgrounds that do not change from frame to frame are made once.
    QImage fixedBackground;
    if (mode.kind == Mode::Kind::preset) {
        fixedBackground = backdrop(mode.preset, size);
    } else if (mode.kind == Mode::Kind::image) {
        fixedBackground = coverImage(picture, size);
    }

    // An odd column and row of an H.264 output are left out.
    const QSize encodedSize = writer.encodedSize();
    FramePool outputs(encodedSize, writer.pixelFormat());
    PlanarConverter converter(encodedSize.width(), writer.fullRange());
    FrameQueue<EncodedFrame> queue(4);
    std::optional<MediaError> writeError;
    std::jthread encoder([&] {
        while (auto frame = queue.pop()) {
            if (writeError) {
                continue;
            }
            if (auto written = writer.write(*frame); !written) {
                writeError = written.error();
                queue.close();
            }
        }
    });

    MaskFilter filter(options.temporalSmoothing);
    Result result;
    result.file = output;
    QImage previousSmall;
    double segmentationNs = 0.0;
    std::optional<MediaError> failure;
    const double duration = std::max(info->duration, 1e-6);
    // Decoding runs on a thread of its own, ahead of the compositing.
    FrameQueue<DecodedFrame> frames(4);
    std::optional<MediaError> readError;
    std::jthread reader([&] {
        while (true) {
            DecodedFrame next;
            auto more = (*decoder)->next(next);
            if (!more) {
                readError = more.error();
                break;
            }
            if (!*more || !frames.push(std::move(next))) {
                break;
            }
        }
        frames.close();
    });
    while (true) {
        if (control.isCancelled()) {
            failure = MediaError::cancelled();
            break;
        }
        std::optional<DecodedFrame> item = frames.pop();
        if (!item) {
            break;
        }
        const DecodedFrame& decoded = *item;
        QImage frame = decoded.image.format() == QImage::Format_RGB32
                           ? decoded.image
                           : decoded.image.convertToFormat(QImage::Format_RGB32);
        // The quarter-size picture feeds both the segmentation and the blur.
        const QImage quarter = quarterSize(frame);
        QImage small = quarter.scaled((*segmenter)->inputWidth(), (*segmenter)->inputHeight(),
                                      Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        PersonMask mask;
        QElapsedTimer timer;
        timer.start();
        const bool segmented = options.segment ? options.segment(result.frames, small, mask)
                                               : (*segmenter)->segment(small, mask);
        segmentationNs += double(timer.nsecsElapsed());
        ffmpeg::FramePtr out = outputs.take();
        if (!out) {
            failure = MediaError{MediaError::mediaDomain, AVERROR(ENOMEM), u"Out of memory"_s};
            break;
        }
        if (!segmented) {
            // The frame stays as it was recorded.
            filter.reset();
            ++result.passedThrough;
            convertFrame(frame, converter, out.get());
        } else {
            const bool cut = isCut(previousSmall, small);
            const QImage lowMask = filter.apply(mask, cut);
            // Radius 24 of the frame is 3 at an eighth of its size, still
            // well above what bilinear scaling back up can show.
            QImage background = fixedBackground;
            if (mode.kind == Mode::Kind::blur) {
                const QImage eighth =
                    quarter
                        .scaled(std::max(1, quarter.width() / 2), std::max(1, quarter.height() / 2),
                                Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGB32);
                background =
                    gaussianBlur(eighth, 24.0 * eighth.width() / std::max(1, frame.width()));
            }
            blend(frame, background, lowMask, converter, out.get());
        }
        previousSmall = small;
        if (!queue.push(EncodedFrame{std::move(out), decoded.time})) {
            break; // the encoder failed
        }
        ++result.frames;
        result.duration = decoded.time;
        control.setProgress(std::min(0.999, decoded.time / duration));
    }
    frames.close();
    reader.join();
    queue.close();
    encoder.join();
    if (!failure && readError) {
        failure = readError;
    }
    if (failure) {
        return Unexpected(*failure);
    }
    if (writeError) {
        return Unexpected(*writeError);
    }
    if (result.frames == 0) {
        return Unexpected(MediaError{MediaError::mediaDomain, AVERROR_INVALIDDATA,
                                     u"The recording has no video frames."_s});
    }
    if (auto finished = writer.finish(); !finished) {
        return Unexpected(finished.error());
    }
    result.meanMaskChange = filter.meanChange();
    result.segmentationMs = segmentationNs / 1e6 / result.frames;
    const double frameRate = info->videoTracks.first().frameRate;
    result.duration += frameRate > 0 ? 1.0 / frameRate : 0.0;
    control.setProgress(1.0);
    guard.keep = true;
    return result;
}

QCoro::Task<JobResult<QUrl>> BackgroundReplacer::process(QUrl url, Mode mode,
                                                         std::function<void(double)> progress,
                                                         CancelHandle cancel, Options options) {
    QImage picture;
    if (mode.kind == Mode::Kind::image) {
        QImageReader reader(mode.url.toLocalFile());
        reader.setAutoTransform(true);
        picture = reader.read();
        if (picture.isNull()) {
            co_return JobResult<QUrl>(Unexpected(imageLoadError()));
        }
    }
    const QUrl target = newRecordingFile(u"tolvane-bg"_s, u".mov"_s);
    const QString input = url.toLocalFile();
    const QString output = target.toLocalFile();
    JobWork<Result> work = [input, mode, picture, output, options](JobControl& control) {
        return replace(input, mode, picture, output, control, options);
    };
    auto job = runMediaJob<Result>(std::move(work), std::move(progress), std::move(cancel));
    JobResult<Result> result = co_await job;
    if (!result) {
        QFile::remove(output);
        co_return JobResult<QUrl>(Unexpected(result.error()));
    }
    co_return JobResult<QUrl>(target);
}

} // namespace tolvane
