#include "platform/ui/qt/qt_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QMap>
#include <QMessageBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lorva::platform {
namespace {

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

QMessageBox::Icon IconFor(int style) {
  switch (style & 0x70) {
    case msgbox::kCritical:
      return QMessageBox::Critical;
    case msgbox::kQuestion:
      return QMessageBox::Question;
    case msgbox::kExclamation:
      return QMessageBox::Warning;
    case msgbox::kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

QWidget* QtDialogs::Owner() const {
  // A dialog owned by a window that is not shown yet would open over that window's unplaced
  // corner; without an owner Qt centres it on the screen.
  return parent_ != nullptr && parent_->isVisible() ? parent_ : nullptr;
}

int QtDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
  // Message texts break lines with CR LF; Qt wants LF alone.
  QString text = ToQt(prompt);
  text.replace("\r\n", "\n");
  QMessageBox box(IconFor(style), ToQt(title), text, QMessageBox::NoButton, Owner());
  struct Choice {
    QMessageBox::StandardButton button;
    int answer;
  };
  std::vector<Choice> choices;
  switch (style & 0x7) {
    case 1:  // OK, Cancel
      choices = {{QMessageBox::Ok, msgbox::kOk}, {QMessageBox::Cancel, 2}};
      break;
    case 3:  // Yes, No, Cancel
      choices = {{QMessageBox::Yes, msgbox::kYes},
                 {QMessageBox::No, msgbox::kNo},
                 {QMessageBox::Cancel, 2}};
      break;
    case msgbox::kYesNo:
      choices = {{QMessageBox::Yes, msgbox::kYes}, {QMessageBox::No, msgbox::kNo}};
      break;
    default:
      choices = {{QMessageBox::Ok, msgbox::kOk}};
      break;
  }
  for (const Choice& choice : choices) box.addButton(choice.button);
  box.setDefaultButton(choices.front().button);
  box.exec();
  const auto pressed = box.standardButton(box.clickedButton());
  for (const Choice& choice : choices) {
    if (choice.button == pressed) return choice.answer;
  }
  // Closed with Escape or the close box: the last button's answer (No, Cancel or OK).
  return choices.back().answer;
}

std::string QtDialogs::BrowseForFolder(const std::string& title, const std::string& startFolder) {
  const QString chosen = QFileDialog::getExistingDirectory(Owner(), ToQt(title), ToQt(startFolder),
                                                           QFileDialog::ShowDirsOnly);
  return chosen.toStdString();
}

std::string QtDialogs::PickMailFolder(const std::vector<std::string>& folderPaths,
                                      const std::string& currentPath) {
  QDialog dialog(Owner());
  dialog.setWindowTitle("Select Folder");
  auto* tree = new QTreeWidget(&dialog);
  tree->setHeaderHidden(true);
  QMap<QString, QTreeWidgetItem*> items;
  for (const std::string& path : folderPaths) {
    const QStringList parts = ToQt(path).split('/');
    QString sofar;
    QTreeWidgetItem* parent = nullptr;
    for (const QString& part : parts) {
      sofar = sofar.isEmpty() ? part : sofar + '/' + part;
      QTreeWidgetItem* item = items.value(sofar);
      if (item == nullptr) {
        item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, part);
        item->setData(0, Qt::UserRole, sofar);
        items.insert(sofar, item);
      }
      parent = item;
    }
  }
  tree->expandAll();
  if (QTreeWidgetItem* current = items.value(ToQt(currentPath))) tree->setCurrentItem(current);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(tree, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(tree);
  layout->addWidget(buttons);
  dialog.resize(320, 360);
  if (dialog.exec() != QDialog::Accepted || tree->currentItem() == nullptr) return "";
  return tree->currentItem()->data(0, Qt::UserRole).toString().toStdString();
}

}  // namespace lorva::platform
