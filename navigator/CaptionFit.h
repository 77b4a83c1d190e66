#pragma once
// Keeps every caption of a dialog window readable whatever face and size the machine's fonts
// give: the windows are laid out in fixed pixels for the design's face, and a caption that needs
// more room than its control has would be clipped. FitCaptions widens only those controls, by
// what they lack, and makes room for them: the controls to their right on the same rows move
// along, and each container up to the window grows as far as it must to keep its right margin.
// Everything that fits keeps its designed position and size.

class QWidget;

namespace tindrel {

// How many pixels `control`'s caption lacks (0 or less: it fits). Labels, push buttons, check
// boxes and radio buttons (with their indicator), group box titles, tab bars and the entries of
// drop-down lists have captions; other controls have none and give 0.
int CaptionShortfall(const QWidget& control);

// Widens `control` by `extra` pixels, keeping its left edge, and makes room for it as above.
void WidenControl(QWidget& control, int extra);

// Widens every control of `window` whose caption does not fit. Call it once the texts are in.
void FitCaptions(QWidget& window);

}  // namespace tindrel
