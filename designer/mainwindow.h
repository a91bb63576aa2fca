#pragma once
// The template designer's window: the page tree beside the canvas above the
// status line, and the commands new, open, save, upgrade and about. It holds
// the template being edited (name, page images, subjective rows), turns it
// into a template file and back, and flashes a section picked in the tree.

#include "canvaswindow.h"
#include "filechoosers.h"
#include "treeitems.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class MyImage;
class MySectionBase;
class MyStatusBar;
class MyTreeWidget;

namespace Ui { class MainWindow; }

class MainWindow : public QMainWindow, public CanvasWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The answer to the "version" argument.
    static QByteArray versionJson();
    // "Lumbrisk V 4.1 - ..."; the title before any template is loaded.
    static QString programTitle();

    // Replaces the template: pages over `images` (made upright on disk when
    // they rely on a stored orientation), no sections; with `read`, the
    // sections and subjective rows of the template file at `path`, which is
    // decoded in memory and never written. Shows the first page.
    void loadTemplate(const QString &name, const QStringList &images, bool read, const QString &path);
    // Whether the template may be saved; on false the user has been told why
    // (except for a template without pages).
    bool validateTemplate();
    // Writes the template file once, complemented. False, after a message,
    // when a page image cannot be read or the file cannot be written.
    bool writeTemplate(const QString &path, QVector<SubjectItemRow> rows);
    // Complements every byte of a file in place; its own inverse.
    static bool complementFile(const QString &path, QString *errorText = nullptr);

    void setSectionHidden(QWidget *section, bool hidden);
    bool hasSectionAnchorPointA(int page) const;
    bool hasSectionAnchorPointB(int page) const;
    bool hasPrintTextAnchor(int page) const;
    // Makes a page image that relies on a stored quarter or half turn
    // upright on disk; a failure is reported and leaves the file as it was.
    bool applyImageOrientation(const QString &imagePath);

    // CanvasWindow
    int shownPage() const override { return currentPage; }
    QTreeWidget *pageTreeWidget() const override;
    void showImageInfo(const QString &imagePath, int page, int width, int height) override;
    void showSelectionInfo(int x, int y, int width, int height) override;
    void showSectionName(const QString &text) override;
    void showMousePosition(int x, int y) override;

    // Every section and option bubble on the canvas.
    QList<MySectionBase *> &sectionList() const;

    MyTreeWidget *treeWidget = nullptr;
    MyImage *myImage = nullptr;
    MyStatusBar *myStatusBar = nullptr;
    QStringList pageImages;
    QString templateName;
    qint32 currentPage = -1;
    bool flashing = false;
    QVector<SubjectItemRow> subjectItemRows;
    QString lastSaveDirectory;

    // The subjective scoring step of a save, between the check and the
    // file chooser; may replace subjectItemRows. Unset: none.
    std::function<void()> subjectConfigStep;
    FileChoosers::SaveFile chooseSaveFile = FileChoosers::templateToSave;
    // Each of the flash's three pauses.
    int flashPauseMs = 150;

    Ui::MainWindow *ui;

public slots:
    void newFile();
    void openFile();
    void saveFile();
    void upgrade();
    void about();
    void onTreeItemSelected();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The document for the current state and `rows`; false, after a
    // message, when a page image cannot be read.
    bool buildTemplateXml(const QVector<SubjectItemRow> &rows, QByteArray *xml,
                          QVector<QVector<const MySectionBase *>> *origins);
    // The template rules the processing program keeps, on the document the
    // save would write; the first broken rule is told and its section shown.
    bool obeysTemplateRules(const QVector<SubjectItemRow> &rows);
    void selectProblem(int page, const MySectionBase *section);
    void clearTemplate();
    void showTemplateName(const QString &name);
    void flash(QWidget *section);
    void pause(int ms);
    void warn(const QString &text);

    int m_flashDepth = 0;
};
