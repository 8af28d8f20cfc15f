#include "platform/personsegmenter.h"

#include "tflitesubset_generated.h"

#include <QFile>

#include <xnnpack.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace tolvane {

namespace {

namespace fb = tolvane::tflite;

// Operator codes of the model format that the model uses.
enum Op : int {
    opAdd = 0,
    opAveragePool2D = 1,
    opConv2D = 3,
    opDepthwiseConv2D = 4,
    opDequantize = 6,
    opLogistic = 14,
    opMul = 18,
    opRelu = 19,
    opRelu6 = 21,
    opResizeBilinear = 23,
    opCustom = 32,
    opMean = 40,
    opHardSwish = 117,
};

constexpr float kInf = std::numeric_limits<float>::infinity();

float halfToFloat(uint16_t h) {
    const uint32_t sign = (h & 0x8000u) << 16;
    uint32_t exponent = (h >> 10) & 0x1f;
    uint32_t mantissa = h & 0x3ffu;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: normalise.
            exponent = 127 - 15 + 1;
            while ((mantissa & 0x400u) == 0) {
                mantissa <<= 1;
                --exponent;
            }
            mantissa &= 0x3ffu;
            bits = sign | (exponent << 23) | (mantissa << 13);
        }
    } else if (exponent == 0x1f) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else {
        bits = sign | ((exponent + 127 - 15) << 23) | (mantissa << 13);
    }
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool initialiseXnnpack() {
    static const bool ok = xnn_initialize(nullptr) == xnn_status_success;
    return ok;
}

std::pair<float, float> activationRange(fb::ActivationFunctionType activation) {
    switch (activation) {
    case fb::ActivationFunctionType_RELU:
        return {0.0f, kInf};
    case fb::ActivationFunctionType_RELU6:
        return {0.0f, 6.0f};
    case fb::ActivationFunctionType_RELU_N1_TO_1:
        return {-1.0f, 1.0f};
    default:
        return {-kInf, kInf};
    }
}

} // namespace

struct PersonSegmenter::Private {
    QByteArray file;
    // fp32 copies of the constant tensors; XNNPACK keeps pointers into them
    // (a deque, so adding one never moves the others).
    std::deque<std::vector<float>> constants;
    xnn_subgraph_t subgraph = nullptr;
    xnn_runtime_t runtime = nullptr;
    int width = 0;
    int height = 0;
    std::vector<float> input;
    std::vector<float> output;

    ~Private() {
        if (runtime) {
            xnn_delete_runtime(runtime);
        }
        if (subgraph) {
            xnn_delete_subgraph(subgraph);
        }
    }
};

PersonSegmenter::PersonSegmenter(std::unique_ptr<Private> data)
    : d(std::move(data)) {}

PersonSegmenter::~PersonSegmenter() = default;

QString PersonSegmenter::defaultModelPath() {
    return QStringLiteral(TOLVANE_SEGMENTATION_MODEL);
}

int PersonSegmenter::inputWidth() const {
    return d->width;
}

int PersonSegmenter::inputHeight() const {
    return d->height;
}

Expected<std::unique_ptr<PersonSegmenter>, QString>
PersonSegmenter::load(const QString& modelPath) {
    using Result = Expected<std::unique_ptr<PersonSegmenter>, QString>;
    auto fail = [](const QString& why) { return Result(Unexpected(why)); };

    QFile file(modelPath);
    if (!file.exists()) {
        return fail(u"The person segmentation model is not installed (%1). Run "
                    "scripts/setup.sh to install it."_s.arg(modelPath));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(u"The person segmentation model could not be read (%1)."_s.arg(modelPath));
    }
    auto d = std::make_unique<Private>();
    d->file = file.readAll();
    const auto* bytes = reinterpret_cast<const uint8_t*>(d->file.constData());
    flatbuffers::Verifier verifier(bytes, static_cast<size_t>(d->file.size()));
    if (!fb::ModelBufferHasIdentifier(bytes) || !fb::VerifyModelBuffer(verifier)) {
        return fail(u"The person segmentation model is damaged (%1)."_s.arg(modelPath));
    }
    const fb::Model* model = fb::GetModel(bytes);
    const auto invalid = [&](const QString& what) {
        return fail(u"The person segmentation model cannot be used: %1."_s.arg(what));
    };
    if (!model->subgraphs() || model->subgraphs()->size() != 1 || !model->buffers() ||
        !model->operator_codes()) {
        return invalid(u"unexpected structure"_s);
    }
    const fb::SubGraph* graph = model->subgraphs()->Get(0);
    if (!graph->tensors() || !graph->operators() || !graph->inputs() || !graph->outputs() ||
        graph->inputs()->size() != 1 || graph->outputs()->size() != 1) {
        return invalid(u"unexpected inputs or outputs"_s);
    }
    const auto& tensors = *graph->tensors();
    const int tensorCount = static_cast<int>(tensors.size());
    auto shapeOf = [&](int index) {
        std::vector<size_t> dims;
        if (const auto* shape = tensors.Get(index)->shape()) {
            for (int v : *shape) {
                dims.push_back(static_cast<size_t>(std::max(v, 0)));
            }
        }
        return dims;
    };
    auto bufferOf = [&](int index) -> const flatbuffers::Vector<uint8_t>* {
        const uint32_t b = tensors.Get(index)->buffer();
        if (b == 0 || b >= model->buffers()->size()) {
            return nullptr;
        }
        const auto* data = model->buffers()->Get(b)->data();
        return data && data->size() ? data : nullptr;
    };

    const int inputTensor = graph->inputs()->Get(0);
    const int outputTensor = graph->outputs()->Get(0);
    if (inputTensor < 0 || inputTensor >= tensorCount || outputTensor < 0 ||
        outputTensor >= tensorCount) {
        return invalid(u"unexpected inputs or outputs"_s);
    }
    const auto inShape = shapeOf(inputTensor);
    const auto outShape = shapeOf(outputTensor);
    if (inShape.size() != 4 || inShape[0] != 1 || inShape[3] != 3 || outShape.size() != 4 ||
        outShape[1] != inShape[1] || outShape[2] != inShape[2] || outShape[3] != 1) {
        return invalid(u"unexpected input or output shape"_s);
    }
    d->height = static_cast<int>(inShape[1]);
    d->width = static_cast<int>(inShape[2]);

    if (!initialiseXnnpack()) {
        return invalid(u"XNNPACK is not supported on this processor"_s);
    }
    if (xnn_create_subgraph(2, 0, &d->subgraph) != xnn_status_success) {
        return invalid(u"XNNPACK could not create a graph"_s);
    }

    // Constant tensors: fp32 buffers as they are, fp16 ones widened (the model
    // stores its weights in fp16 behind DEQUANTIZE operators).
    std::unordered_map<int, const std::vector<float>*> constantOf;
    for (int i = 0; i < tensorCount; ++i) {
        const auto* data = bufferOf(i);
        if (!data) {
            continue;
        }
        const auto type = tensors.Get(i)->type();
        std::vector<float> values;
        if (type == fb::TensorType_FLOAT32) {
            values.resize(data->size() / 4);
            std::memcpy(values.data(), data->data(), values.size() * 4);
        } else if (type == fb::TensorType_FLOAT16) {
            values.resize(data->size() / 2);
            for (size_t k = 0; k < values.size(); ++k) {
                uint16_t h;
                std::memcpy(&h, data->data() + 2 * k, 2);
                values[k] = halfToFloat(h);
            }
        } else {
            continue; // integer parameters (axes, sizes) are read where they are used
        }
        d->constants.push_back(std::move(values));
        constantOf[i] = &d->constants.back();
    }
    std::unordered_map<int, uint32_t> valueOf;
    std::unordered_map<int, int> aliasOf; // DEQUANTIZE output -> its constant input

    auto resolve = [&](int index) {
        auto alias = aliasOf.find(index);
        return alias == aliasOf.end() ? index : alias->second;
    };
    auto value = [&](int index, uint32_t& id) {
        index = resolve(index);
        if (index < 0 || index >= tensorCount) {
            return false;
        }
        if (auto found = valueOf.find(index); found != valueOf.end()) {
            id = found->second;
            return true;
        }
        const auto dims = shapeOf(index);
        const void* data = nullptr;
        if (auto c = constantOf.find(index); c != constantOf.end()) {
            data = c->second->data();
        }
        uint32_t externalId = XNN_INVALID_VALUE_ID;
        uint32_t flags = 0;
        if (index == inputTensor) {
            externalId = 0;
            flags = XNN_VALUE_FLAG_EXTERNAL_INPUT;
        } else if (index == outputTensor) {
            externalId = 1;
            flags = XNN_VALUE_FLAG_EXTERNAL_OUTPUT;
        }
        if (xnn_define_tensor_value(d->subgraph, xnn_datatype_fp32, dims.size(), dims.data(), data,
                                    externalId, flags, &id) != xnn_status_success) {
            return false;
        }
        valueOf[index] = id;
        return true;
    };
    auto int32Vector = [&](int index) {
        std::vector<int32_t> out;
        if (index < 0 || index >= tensorCount ||
            tensors.Get(index)->type() != fb::TensorType_INT32) {
            return out;
        }
        if (const auto* data = bufferOf(index)) {
            out.resize(data->size() / 4);
            std::memcpy(out.data(), data->data(), out.size() * 4);
        }
        return out;
    };

    int opIndex = 0;
    for (const fb::Operator* op : *graph->operators()) {
        ++opIndex;
        if (op->opcode_index() >= model->operator_codes()->size() || !op->inputs() ||
            !op->outputs() || op->outputs()->size() != 1 || op->inputs()->size() < 1) {
            return invalid(u"operator %1 is malformed"_s.arg(opIndex));
        }
        const fb::OperatorCode* code = model->operator_codes()->Get(op->opcode_index());
        const int builtin = std::max<int>(code->deprecated_builtin_code(), code->builtin_code());
        const auto& in = *op->inputs();
        const int out = op->outputs()->Get(0);

        if (builtin == opDequantize) {
            if (!constantOf.count(in.Get(0))) {
                return invalid(u"DEQUANTIZE of a non-constant tensor"_s);
            }
            aliasOf[out] = in.Get(0);
            continue;
        }
        uint32_t x = 0, y = 0;
        if (!value(in.Get(0), x) || !value(out, y)) {
            return invalid(u"operator %1 has an invalid tensor"_s.arg(opIndex));
        }
        const auto outDims = shapeOf(out);
        const auto inDims = shapeOf(resolve(in.Get(0)));
        xnn_status status = xnn_status_invalid_parameter;
        switch (builtin) {
        case opConv2D: {
            const auto* o = op->builtin_options_as_Conv2DOptions();
            uint32_t w = 0, b = XNN_INVALID_VALUE_ID;
            const auto wDims = shapeOf(resolve(in.Get(1)));
            if (!o || wDims.size() != 4 || !value(in.Get(1), w) ||
                (in.size() > 2 && in.Get(2) >= 0 && !value(in.Get(2), b))) {
                break;
            }
            const auto [lo, hi] = activationRange(o->fused_activation_function());
            status = xnn_define_convolution_2d(
                d->subgraph, 0, 0, 0, 0, wDims[1], wDims[2], o->stride_h(), o->stride_w(),
                o->dilation_h_factor(), o->dilation_w_factor(), 1, wDims[3], wDims[0], lo, hi, x, w,
                b, y, o->padding() == fb::Padding_SAME ? XNN_FLAG_TENSORFLOW_SAME_PADDING : 0);
            break;
        }
        case opDepthwiseConv2D: {
            const auto* o = op->builtin_options_as_DepthwiseConv2DOptions();
            uint32_t w = 0, b = XNN_INVALID_VALUE_ID;
            const auto wDims = shapeOf(resolve(in.Get(1)));
            if (!o || wDims.size() != 4 || inDims.size() != 4 || !value(in.Get(1), w) ||
                (in.size() > 2 && in.Get(2) >= 0 && !value(in.Get(2), b))) {
                break;
            }
            const auto [lo, hi] = activationRange(o->fused_activation_function());
            status = xnn_define_depthwise_convolution_2d(
                d->subgraph, 0, 0, 0, 0, wDims[1], wDims[2], o->stride_h(), o->stride_w(),
                o->dilation_h_factor(), o->dilation_w_factor(),
                static_cast<uint32_t>(std::max(o->depth_multiplier(), 1)), inDims[3], lo, hi, x, w,
                b, y, o->padding() == fb::Padding_SAME ? XNN_FLAG_TENSORFLOW_SAME_PADDING : 0);
            break;
        }
        case opHardSwish:
            status = xnn_define_hardswish(d->subgraph, x, y, 0);
            break;
        case opRelu:
            status = xnn_define_clamp(d->subgraph, 0.0f, kInf, x, y, 0);
            break;
        case opRelu6:
            status = xnn_define_clamp(d->subgraph, 0.0f, 6.0f, x, y, 0);
            break;
        case opLogistic:
            status = xnn_define_sigmoid(d->subgraph, x, y, 0);
            break;
        case opAdd:
        case opMul: {
            uint32_t x2 = 0;
            if (in.size() != 2 || !value(in.Get(1), x2)) {
                break;
            }
            const auto* addOptions = op->builtin_options_as_AddOptions();
            const auto* mulOptions = op->builtin_options_as_MulOptions();
            const auto activation = addOptions   ? addOptions->fused_activation_function()
                                    : mulOptions ? mulOptions->fused_activation_function()
                                                 : fb::ActivationFunctionType_NONE;
            const auto [lo, hi] = activationRange(activation);
            status = builtin == opAdd ? xnn_define_add2(d->subgraph, lo, hi, x, x2, y, 0)
                                      : xnn_define_multiply2(d->subgraph, lo, hi, x, x2, y, 0);
            break;
        }
        case opMean: {
            // Only the spatial mean with kept dimensions (squeeze-and-excite).
            const auto axes = in.size() == 2 ? int32Vector(in.Get(1)) : std::vector<int32_t>{};
            const auto* o = op->builtin_options_as_ReducerOptions();
            if (axes != std::vector<int32_t>{1, 2} || !o || !o->keep_dims()) {
                return invalid(u"MEAN over other axes than height and width"_s);
            }
            status = xnn_define_global_average_pooling_2d(d->subgraph, -kInf, kInf, x, y, 0);
            break;
        }
        case opAveragePool2D: {
            const auto* o = op->builtin_options_as_Pool2DOptions();
            if (!o) {
                break;
            }
            const auto [lo, hi] = activationRange(o->fused_activation_function());
            status = xnn_define_average_pooling_2d(
                d->subgraph, 0, 0, 0, 0, o->filter_height(), o->filter_width(), o->stride_h(),
                o->stride_w(), lo, hi, x, y,
                o->padding() == fb::Padding_SAME ? XNN_FLAG_TENSORFLOW_SAME_PADDING : 0);
            break;
        }
        case opResizeBilinear: {
            const auto* o = op->builtin_options_as_ResizeBilinearOptions();
            if (!o || outDims.size() != 4) {
                break;
            }
            // XNNPACK's default sampling is the half-pixel-centre one.
            const uint32_t flags = o->align_corners()        ? XNN_FLAG_ALIGN_CORNERS
                                   : o->half_pixel_centers() ? 0
                                                             : XNN_FLAG_TENSORFLOW_LEGACY_MODE;
            status = xnn_define_static_resize_bilinear_2d(d->subgraph, outDims[1], outDims[2], x, y,
                                                          flags);
            break;
        }
        case opCustom: {
            // MediaPipe's transposed convolution with bias; options are its raw
            // parameter struct: padding, stride width, stride height (int32 each).
            if (!code->custom_code() ||
                code->custom_code()->str() != "Convolution2DTransposeBias") {
                return invalid(u"custom operator %1"_s.arg(
                    code->custom_code() ? QString::fromStdString(code->custom_code()->str())
                                        : u"without a name"_s));
            }
            const auto* options = op->custom_options();
            uint32_t w = 0, b = XNN_INVALID_VALUE_ID;
            const auto wDims = shapeOf(resolve(in.Get(1)));
            if (!options || options->size() < 12 || wDims.size() != 4 || inDims.size() != 4 ||
                outDims.size() != 4 || !value(in.Get(1), w) ||
                (in.size() > 2 && in.Get(2) >= 0 && !value(in.Get(2), b))) {
                break;
            }
            int32_t params[3];
            std::memcpy(params, options->data(), sizeof params);
            const uint32_t strideW = static_cast<uint32_t>(params[1]);
            const uint32_t strideH = static_cast<uint32_t>(params[2]);
            // Padding that makes the output exactly the declared size.
            const size_t fullH = (inDims[1] - 1) * strideH + wDims[1];
            const size_t fullW = (inDims[2] - 1) * strideW + wDims[2];
            if (strideW == 0 || strideH == 0 || fullH < outDims[1] || fullW < outDims[2]) {
                break;
            }
            const auto padH = static_cast<uint32_t>(fullH - outDims[1]);
            const auto padW = static_cast<uint32_t>(fullW - outDims[2]);
            status =
                xnn_define_deconvolution_2d(d->subgraph, padH / 2, padW - padW / 2, padH - padH / 2,
                                            padW / 2, 0, 0, wDims[1], wDims[2], strideH, strideW, 1,
                                            1, 1, wDims[3], wDims[0], -kInf, kInf, x, w, b, y, 0);
            break;
        }
        default:
            return invalid(u"operator code %1 is not supported"_s.arg(builtin));
        }
        if (status != xnn_status_success) {
            return invalid(
                u"operator %1 (code %2) was rejected by XNNPACK"_s.arg(opIndex).arg(builtin));
        }
    }
    if (!valueOf.count(inputTensor) || !valueOf.count(outputTensor)) {
        return invalid(u"the output does not depend on the input"_s);
    }
    if (xnn_create_runtime_v2(d->subgraph, nullptr, 0, &d->runtime) != xnn_status_success) {
        return invalid(u"XNNPACK could not prepare the graph"_s);
    }
    d->input.resize(static_cast<size_t>(d->width) * d->height * 3);
    d->output.resize(static_cast<size_t>(d->width) * d->height);
    const xnn_external_value externals[2] = {{0, d->input.data()}, {1, d->output.data()}};
    if (xnn_setup_runtime(d->runtime, 2, externals) != xnn_status_success) {
        return invalid(u"XNNPACK could not bind the input and output"_s);
    }
    return Result(std::unique_ptr<PersonSegmenter>(new PersonSegmenter(std::move(d))));
}

bool PersonSegmenter::segment(const QImage& image, PersonMask& mask) {
    if (image.isNull()) {
        return false;
    }
    QImage small =
        image.size() == QSize(d->width, d->height)
            ? image.convertToFormat(QImage::Format_RGB888)
            : image.scaled(d->width, d->height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB888);
    // The model takes RGB in 0...1.
    float* in = d->input.data();
    for (int row = 0; row < d->height; ++row) {
        const uchar* line = small.constScanLine(row);
        for (int i = 0; i < d->width * 3; ++i) {
            *in++ = line[i] * (1.0f / 255.0f);
        }
    }
    if (xnn_invoke_runtime(d->runtime) != xnn_status_success) {
        return false;
    }
    mask.width = d->width;
    mask.height = d->height;
    mask.values = d->output;
    return true;
}

} // namespace tolvane
