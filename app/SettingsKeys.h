#pragma once
// The names and defaults of the settings file "TindrelII.ini", beside the executable.
// The keys are written in this order: the "InterFace" section first, then "TreeView".

namespace tindrel::settings {

inline constexpr const char* kFileName = "TindrelII.ini";

inline constexpr const char* kInterfaceSection = "InterFace";
inline constexpr const char* kTreeViewSection = "TreeView";

inline constexpr const char* kStayOnTop = "StayOnTop";        // InterFace, boolean
inline constexpr const char* kFontName = "FontName";          // both sections, text
inline constexpr const char* kFontSize = "FontSize";          // both sections, integer (points)
inline constexpr const char* kMemoWordWrap = "MemoWordWrap";  // InterFace, boolean
inline constexpr const char* kMouseMoveSelect = "MouseMoveSelect";  // TreeView, boolean

inline constexpr bool kDefaultStayOnTop = false;
inline constexpr bool kDefaultMemoWordWrap = false;
inline constexpr bool kDefaultMouseMoveSelect = false;
inline constexpr const char* kDefaultMemoFontName = "Courier New";
inline constexpr const char* kDefaultTreeFontName = "MS Sans Serif";
inline constexpr int kDefaultFontSize = 10;

// The largest point size the font dialog offers. A stored size outside 1..kMaxFontSize would make
// the window unusable, so it is replaced by the default.
inline constexpr int kMaxFontSize = 72;

inline constexpr int SaneFontSize(int points) {
  return points >= 1 && points <= kMaxFontSize ? points : kDefaultFontSize;
}

}  // namespace tindrel::settings
