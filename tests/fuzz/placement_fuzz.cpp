// The placement section's text: never a crash, and what reads back is what it wrote.
#include "fuzz_input.h"
#include "ui/common/placement_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<WindowPlacement> p = PlacementText::Parse(text.split(QLatin1Char('\n')));
    if (!p)
        return 0;
    const std::optional<WindowPlacement> again = PlacementText::Parse(PlacementText::Build("Form_X", "TForm_X", *p));
    check(again.has_value());
    check(again->left == p->left && again->top == p->top && again->width == p->width && again->height == p->height);
    check(again->pixelsPerInch == p->pixelsPerInch && again->state == p->state && again->tabIndex == p->tabIndex);
    return 0;
}
