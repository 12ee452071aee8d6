// The numbers thumbrix-batch and the Options window take: --wait, --max-height, --scale, --quality.
#include "FuzzCheck.h"
#include "capture/CaptureChoices.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const QString text = QString::fromUtf8(Fuzz::Bytes(data + 1, size - 1));
    const QString name = QStringLiteral("--number");
    QString message;
    bool ok = false;
    int whole = 0;
    int low = 0;
    int high = 0;
    switch (data[0] % 4) {
    case 0:
        ok = CaptureField::WaitMs(name, text, &whole, &message);
        high = kMaxWaitMs;
        break;
    case 1:
        ok = CaptureField::MaxHeight(name, text, &whole, &message);
        low = 1;
        high = kMaxFullHeight;
        break;
    case 2:
        ok = CaptureField::Quality(name, text, &whole, &message);
        low = 1;
        high = 100;
        break;
    default: {
        double scale = 0;
        ok = CaptureField::Scale(name, text, &scale, &message);
        if (ok) FUZZ_REQUIRE(std::isfinite(scale) && scale >= 1 && scale <= kMaxScale, "a scale is from 1 to 4");
        break;
    }
    }
    if (ok) {
        // Every number alike: "1 " is not a number, in any of them.
        FUZZ_REQUIRE(text.trimmed() == text && !text.isEmpty(), "an accepted number has no white space round it");
        if (data[0] % 4 != 3) FUZZ_REQUIRE(whole >= low && whole <= high, "a whole number is within its bounds");
    } else {
        FUZZ_REQUIRE(message.contains(name), "a refused number names its option");
    }
    return 0;
}
