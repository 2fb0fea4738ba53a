#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <deque>

#include "platform/controls.h"

class QListWidget;
class QListWidgetItem;
class QToolButton;

namespace corvane::qt {

// The strip across the bottom of the preview pane with the page's console output and uncaught
// errors, newest last, as plain text. Hidden while it has none; its close button hides it until
// the next message. It keeps the last kKept; messages are taken in a batch a few times a second, so
// a page that logs in a tight loop costs the editor little.
class PageMessages : public QWidget {
    Q_OBJECT
public:
    static constexpr int kKept = 500;

    explicit PageMessages(QWidget* parent);
    // `line` is 0 for a message that belongs to no pane.
    void add(const QString& text, PaneId pane = PaneId::Html, int line = 0);
    void clear();
    QListWidget* list() const { return list_; }
    QToolButton* closeButton() const { return close_; }

signals:
    // A message of a pane was clicked.
    void activated(PaneId pane, int line);

private:
    struct Message {
        QString text;
        PaneId pane;
        int line;
    };
    void flush();

    QListWidget* list_;
    QToolButton* close_;
    std::deque<Message> waiting_;
    QTimer batch_;
};

}  // namespace corvane::qt
