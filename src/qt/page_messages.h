#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

#include "platform/controls.h"

class QListWidget;
class QListWidgetItem;
class QToolButton;

namespace corvane::qt {

// The strip across the bottom of the preview pane with the page's console output and uncaught
// errors, newest last, as plain text. Hidden while it has none; its close button hides it until
// the next message. It keeps the last kKept; messages are taken in a batch a quarter of a second
// after the first, and at most once a second while they keep coming, so a page that logs in a
// tight loop costs the editor little.
class PageMessages : public QWidget {
    Q_OBJECT
public:
    static constexpr int kKept = 500;

    struct Message {
        QString text;
        PaneId pane = PaneId::Html;
        int line = 0;        // in the pane; 0 for a message that belongs to no pane
        QString source;      // a message from the page: where the page says it came from ...
        int sourceLine = 0;  // ... and on which line there; made into text when it is shown
    };

    explicit PageMessages(QWidget* parent);
    void add(const QString& text, PaneId pane = PaneId::Html, int line = 0);
    // A message as the page gave it: only the last kKept are kept, and `describe` makes text of
    // them when they are shown, so a flood of them costs little more than their copies.
    void addFromPage(const QString& message, const QString& source, int line);
    std::function<void(Message&)> describe;
    void clear();
    QListWidget* list() const { return list_; }
    QToolButton* closeButton() const { return close_; }

signals:
    // A message of a pane was clicked.
    void activated(PaneId pane, int line);

private:
    void flush();
    void keep(Message message);

    QListWidget* list_;
    QToolButton* close_;
    std::deque<Message> waiting_;
    QTimer batch_;
    QElapsedTimer shown_;  // since the strip last took messages
};

}  // namespace corvane::qt
