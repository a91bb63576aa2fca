#pragma once
// A stand-in design canvas for the section widget and template document
// tests: a plain widget that implements SectionHost, with the zoom, the page
// shown and the shown image size set by the test, every message box recorded
// and answered from a queue, and the edit dialogs answered by functions.

#include "sectionhost.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class TestSectionHost : public QWidget, public SectionHost {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QWidget *parent;
    };

    explicit TestSectionHost(QWidget *parent = nullptr) : QWidget(parent) { resize(4000, 6000); }

    QList<MySectionBase *> &sectionList() override { return sections; }
    float zoom() const override { return scale; }
    QSize shownImageSize() const override { return shownSize; }
    int currentPage() const override { return page; }
    void showSectionName(const QString &text) override { names.append(text); }
    void grabCanvasKeyboard() override { ++canvasGrabs; }
    void showSelection(const QRect &geometry) override
    {
        selection = geometry;
        selectionShown = true;
    }
    QMessageBox::StandardButton showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                            const QString &text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) override
    {
        boxes.append({icon, title, text, buttons, defaultButton, parent});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return defaultButton != QMessageBox::NoButton ? defaultButton : QMessageBox::Ok;
    }
    bool editOptionalItem(QStringList &items, QString &defaultItem) override
    {
        return onEditOptionalItem ? onEditOptionalItem(items, defaultItem) : false;
    }
    bool editSubject(int &p, int &blockNumber) override
    {
        return onEditSubject ? onEditSubject(p, blockNumber) : false;
    }
    bool editSubjectOptional(int &optional, int &p, int &blockNumber) override
    {
        return onEditSubjectOptional ? onEditSubjectOptional(optional, p, blockNumber) : false;
    }

    QList<MySectionBase *> sections;
    float scale = 1.0f;
    QSize shownSize{4000, 6000};
    int page = 1;
    QStringList names;
    int canvasGrabs = 0;
    QRect selection;
    bool selectionShown = false;
    QList<Box> boxes;
    QList<QMessageBox::StandardButton> answers;
    std::function<bool(QStringList &, QString &)> onEditOptionalItem;
    std::function<bool(int &, int &)> onEditSubject;
    std::function<bool(int &, int &, int &)> onEditSubjectOptional;
};
