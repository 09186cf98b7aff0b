// Small conversions between Qt and the engine's byte strings, and widget naming.
#ifndef VELMORANE_FRONTENDS_WINDOW_QT_TEXT_H_
#define VELMORANE_FRONTENDS_WINDOW_QT_TEXT_H_

#include <QString>
#include <string>
#include <string_view>

namespace velmorane {

inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStd(const QString& text) { return text.toUtf8().toStdString(); }

// Gives a widget the object name tests and style sheets find it by.
template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace velmorane

#endif  // VELMORANE_FRONTENDS_WINDOW_QT_TEXT_H_
