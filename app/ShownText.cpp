#include "app/ShownText.h"

#include <QByteArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QListWidgetItem>
#include <QVariant>

namespace {

constexpr const char* kBytesProperty = "nubikaBytes";
constexpr int kBytesRole = Qt::UserRole + 1;

std::string KeptOrShown(const QVariant& kept, const QString& shown) {
  if (kept.isValid()) {
    const QByteArray bytes = kept.toByteArray();
    if (QString::fromUtf8(bytes) == shown) return bytes.toStdString();
  }
  return ShownText::FromQt(shown);
}

}  // namespace

void ShownText::Set(QLineEdit* edit, const std::string& bytes) {
  edit->setText(ToQt(bytes));
  edit->setProperty(kBytesProperty, QByteArray::fromStdString(bytes));
}

std::string ShownText::Get(const QLineEdit* edit) {
  return KeptOrShown(edit->property(kBytesProperty), edit->text());
}

void ShownText::Set(QPlainTextEdit* edit, const std::string& bytes) {
  edit->setPlainText(ToQt(bytes));
  edit->setProperty(kBytesProperty, QByteArray::fromStdString(bytes));
}

std::string ShownText::Get(const QPlainTextEdit* edit) {
  return KeptOrShown(edit->property(kBytesProperty), edit->toPlainText());
}

QListWidgetItem* ShownText::NewItem(const std::string& bytes) {
  auto* item = new QListWidgetItem(ToQt(bytes));
  item->setData(kBytesRole, QByteArray::fromStdString(bytes));
  return item;
}

std::string ShownText::Get(const QListWidgetItem* item) {
  return KeptOrShown(item->data(kBytesRole), item->text());
}
