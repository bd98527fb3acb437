#pragma once
#include <QString>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QListWidgetItem;

// Texts are bytes in the program and UTF-8 on screen. A text that is not
// valid UTF-8 cannot come back from Qt unchanged, so the bytes a field or
// item was filled with are kept beside it and handed back as long as the
// shown text has not been changed.
class ShownText {
 public:
  static QString ToQt(const std::string& bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }
  static std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

  static void Set(QLineEdit* edit, const std::string& bytes);
  static std::string Get(const QLineEdit* edit);
  static void Set(QPlainTextEdit* edit, const std::string& bytes);
  static std::string Get(const QPlainTextEdit* edit);

  static QListWidgetItem* NewItem(const std::string& bytes);
  static std::string Get(const QListWidgetItem* item);
};
