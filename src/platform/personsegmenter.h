#pragma once

#include "platform/expected.h"

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

namespace tolvane {

// A person mask at the model's resolution: one value 0...1 per pixel, 1 where
// the person is.
struct PersonMask {
    int width = 0;
    int height = 0;
    std::vector<float> values;

    bool isEmpty() const { return values.empty(); }
    float at(int x, int y) const { return values[static_cast<size_t>(y) * width + x]; }
};

// Person segmentation with the selfie segmentation model (landscape, 256x144
// input), read by our own loader for the subset of the model format it uses and
// run on XNNPACK on the calling thread. One instance per thread: segment() is
// not reentrant.
class PersonSegmenter {
public:
    ~PersonSegmenter();
    PersonSegmenter(const PersonSegmenter&) = delete;
    PersonSegmenter& operator=(const PersonSegmenter&) = delete;

    // Where the build expects the model that the set-up script installs.
    static QString defaultModelPath();

    // Fails with a readable reason when the file is missing, is not a model
    // of this kind or uses an operator the loader does not know.
    static Expected<std::unique_ptr<PersonSegmenter>, QString> load(const QString& modelPath);

    int inputWidth() const;
    int inputHeight() const;

    // The mask of `image` (any size; scaled to the model's input). False when
    // the inference failed, leaving `mask` untouched.
    bool segment(const QImage& image, PersonMask& mask);

private:
    struct Private;
    explicit PersonSegmenter(std::unique_ptr<Private> data);
    std::unique_ptr<Private> d;
};

} // namespace tolvane
