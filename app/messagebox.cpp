#include "app/messagebox.h"

std::unique_ptr<QMessageBox> makeMessageBox(
    QMessageBox::Icon icon, const QString &caption, const QString &text, QWidget *parent)
{
    auto box = std::make_unique<QMessageBox>(icon, caption, QString(), QMessageBox::Ok, parent);
    // Left to itself the box guesses rich text from the first tag it sees.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}
