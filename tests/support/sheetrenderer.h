#pragma once
// Synthetic answer sheets for the tests and the benchmark. One SheetSpec
// describes a template; SheetRenderer writes its template XML, its blank
// pages and filled pages with known marks (StudentMarks), optionally turned,
// shifted, scaled, blurred, noisy or JPEG-compressed like a scan (Distortion).
//
// Conventions:
// - Every coordinate is an integer pixel of the page image at template
//   geometry (x right, y down). Section rectangles are absolute page
//   rectangles, as the template document writes them.
// - Section `page` fields are page numbers (1 for the first page); the
//   renderer's pageIndex arguments count from 0.
// - Bubble boxes are laid out with the same single-precision formulas the
//   loader and the readers use, so a box here is the box a reader measures.
// - All fields are public: a test may move or resize any section (for
//   instance push a subjective block over the page edge) and build a new
//   SheetRenderer from the changed description.

#include <QByteArray>
#include <QMap>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>
#include <opencv2/core.hpp>

struct StudentMarks;

struct SheetSpec {
    enum AnchorKind { BlackRectangles, PrintedText };
    enum CodeKind { CodeBubbles, CodeBarcode };

    // The anchor of one page. Both kinds keep the header text lines: on a
    // printed-text page they are the anchor (printed black, never in red), on
    // a rectangle page they are ordinary print.
    struct PageAnchor {
        QRect blockA, searchA;      // black rectangle A and its search area
        QRect blockB, searchB;      // black rectangle B and its search area
        QStringList textLines;      // header text, drawn with varied Hershey fonts
        QRect textRect;             // where the text block is drawn; the patch cut for MatData
        QRect textSearch;           // search area of the printed text
    };

    struct CornerCheck {
        int page = 1;
        QString name;
        QRect block;                // the printed black square
        QRect search;               // its search area
    };

    struct Code {
        CodeKind kind = CodeBubbles;
        // Bubbles: NumberDirection (1: positions run downwards, digits 0..9
        // across; 0: positions across, digits downwards). Barcode:
        // BarDirection (1: printed turned 90 degrees counter-clockwise, since
        // the reader turns the area clockwise first).
        int direction = 0;
        int length = 10;            // digits of a bubble code; longest text a barcode area is sized for
        QSize bubble;               // bubble size (bubbles only)
        QRect area;
        // Barcode only: the module and bar-height arguments handed to
        // BarcodeImage::render for the student's label.
        int barModule = 1;
        int barHeight = 30;

        // Page box of the bubble of digit `digit` at `position`.
        QRect bubbleRect(int position, int digit) const;
        // A bubble grid whose first bubble sits at topLeft; the pitches are
        // the distances between bubble columns and bubble rows.
        static Code bubbles(int length, int direction, QPoint topLeft, QSize bubble,
                            int columnPitch, int rowPitch);
        // A barcode area at topLeft big enough for `length` digits plus `margin`
        // of white on every side; `module` is the narrowest bar and `barHeight`
        // the bar length, both in page pixels.
        static Code barcode(int length, int direction, QPoint topLeft, int module, int barHeight,
                            int margin);
    };

    // A regular block of objective questions ("Object", or "OptionalObject"
    // when `optional` is a candidate number).
    struct ObjectBlock {
        int page = 1;
        int itemStart = 1;
        int itemEnd = 1;
        int optionCount = 4;
        int direction = 0;          // 0: options side by side, strips stacked; 1: options downwards, strips side by side
        QSize bubble;
        QRect area;
        int optional = 0;           // 0: plain "Object" block

        bool contains(int item) const { return item >= itemStart && item <= itemEnd; }
        QRect itemRect(int item) const;               // the question's strip, as the loader lays it out
        QRect bubbleRect(int item, int option) const; // page box of one option
        // optionPitch: distance between neighbouring options of a question;
        // itemPitch: distance between neighbouring questions.
        static ObjectBlock regular(int page, int itemStart, int itemEnd, int optionCount, int direction,
                                   QPoint topLeft, QSize bubble, int optionPitch, int itemPitch,
                                   int optional = 0);
    };

    // One objective question with its bubbles placed one by one ("Object" or
    // "OptionalObject" with Abnormal 1).
    struct IrregularQuestion {
        int page = 1;
        int item = 0;
        QVector<QRect> options;     // page boxes, in option order
        QRect area;                 // must hold every option box
        int optional = 0;
        int writtenOptionCount = -1; // OptionCount as the template writes it; -1: the number of boxes

        // The area is the options' bounding box grown by `pad`.
        static IrregularQuestion make(int page, int item, const QVector<QRect> &options, int pad,
                                      int optional = 0);
    };

    // The choice bubbles of an optional group, side by side along the top of
    // the area.
    struct OptionalGroup {
        int page = 1;
        QVector<int> candidates;
        int defaultCandidate = 0;
        QSize bubble;
        QRect area;

        QRect bubbleRect(int index) const;            // page box of candidate `index`
        static OptionalGroup make(int page, const QVector<int> &candidates, int defaultCandidate,
                                  QPoint topLeft, QSize bubble, int pitch);
    };

    // A subjective block ("Subject", or "OptionalSubject" when `optional` is
    // a candidate number). Block numbers are unique per page over both kinds.
    struct SubjectBlock {
        int page = 1;
        int sectionId = 1;
        QRect rect;
        int optional = 0;
    };

    // One row of the subjective scoring configuration, written as given.
    struct SubjectConfigRow {
        QString itemId, alias, score, markCount, errorMargin, pages, sections;
    };

    QString name = QStringLiteral("期末考试 数学");
    QString version = QStringLiteral("4.1");
    int pageCount = 1;
    int dpi = 150;
    QSize pageSize;
    AnchorKind anchorKind = BlackRectangles;
    QVector<PageAnchor> anchors;                // one per page
    QVector<CornerCheck> cornerChecks;
    Code code;                                  // always on page 1
    bool hasAbsentMark = false;
    QRect absentMark;                           // page 1
    QVector<ObjectBlock> objectBlocks;
    QVector<IrregularQuestion> irregularQuestions;
    QVector<OptionalGroup> optionalGroups;
    QVector<SubjectBlock> subjectBlocks;
    QVector<SubjectConfigRow> subjectConfig;    // empty: no SubjectConfig element

    // --- factories ---
    static QSize a4(int dpi);                   // 8.27 x 11.69 inches
    // Anchors, two corner checks per page ("左下角", "右下角") and a code on
    // page 1; no questions.
    static SheetSpec minimal(AnchorKind anchorKind, CodeKind codeKind, int pages = 1, int dpi = 150,
                             int codeDirection = 0);
    // Every section kind: absent mark, regular blocks in both directions with
    // 2 to 16 options, an irregular question, an optional group with regular,
    // irregular and subjective blocks (on page 2 when there is one), and
    // subjective blocks on every page.
    static SheetSpec standard(AnchorKind anchorKind, CodeKind codeKind, int pages = 2, int dpi = 150,
                              int codeDirection = 0);
    // The benchmark sheet: A4, two pages; page 1 a 10-digit bubble code, an
    // absent mark, 60 objective questions and 2 subjective blocks; page 2 four
    // subjective blocks.
    static SheetSpec benchmark(AnchorKind anchorKind = BlackRectangles, int dpi = 300);

    // Header text block size for these lines at this resolution.
    static QSize textBlockSize(const QStringList &lines, int dpi);
    // Pixels of a length in inches at this sheet's resolution.
    int px(double inches) const;

    // --- geometry queries ---
    // Centres as the template writes them (CenterX/CenterY).
    QPoint anchorCenterA(int page) const;
    QPoint anchorCenterB(int page) const;
    QPoint textCenter(int page) const;
    // The page origin the recognition uses: A's centre or the text centre.
    QPoint pageOrigin(int page) const;
    // The printed-text rectangle clipped to the page (what the patch covers).
    QRect patchRect(int page) const;

    // Every objective question number, plain and optional, in writing order.
    QVector<int> objectiveItems() const;
    bool isOptionalItem(int item) const;
    int optionCount(int item) const;            // 0 for an unknown item
    int itemPage(int item) const;               // 0 for an unknown item
    QRect bubbleRect(int item, int option) const;
    // The strip (regular) or area (irregular) of a question; null when unknown.
    QRect itemArea(int item) const;
    const SubjectBlock *subjectBlock(int page, int sectionId) const;

    // --- what a correct reader reports ---
    // Ascending marked letters of the question, "X" when none.
    QString expectedAnswer(const StudentMarks &marks, int item) const;
    // The single marked candidate, otherwise the group's default.
    QString expectedOptionalChoice(const StudentMarks &marks, int groupIndex) const;
    // Bubbles: one digit per position, "X" where none is marked; barcode: the text.
    QString expectedCode(const StudentMarks &marks) const;
};

// What one student put on the sheet.
struct StudentMarks {
    // Bubbles: one character per position; a digit marks that bubble, any
    // other character (or a missing one) leaves the position empty.
    // Barcode: the printed text (Code 128).
    QString code;
    bool absent = false;
    QMap<int, QString> answers;                 // question -> marked letters; missing or "" = nothing
    QMap<int, QVector<int>> optionalChoices;    // index into SheetSpec::optionalGroups -> marked candidates
    bool scribbles = false;                     // pencil writing in every subjective block
    quint32 variant = 1;                        // varies the pencil marks

    // A plausible student: mostly single answers, a few blanks and double
    // marks, one candidate per optional group (sometimes none or two).
    static StudentMarks random(const SheetSpec &spec, quint32 variant);
};

// Scan-like changes, applied in this order to the page rendered at template
// geometry: scale, rotation, shift (one affine warp about the page centre,
// white fill; the page keeps its size), blur, noise; JPEG compression when
// the page is written.
struct Distortion {
    double rotationDegrees = 0.0;   // positive turns the content counter-clockwise
    double dx = 0.0;                // shift in pixels, right
    double dy = 0.0;                // shift in pixels, down
    double scale = 1.0;             // about the page centre
    // Further scale along one page axis (x across, y down the page), times
    // `scale`: a scanner feed that slips stretches the page along y only.
    double scaleX = 1.0;
    double scaleY = 1.0;
    int blurKernel = 0;             // odd Gaussian kernel size; 0 or 1: none
    double noiseSigma = 0.0;        // Gaussian grey-level noise
    quint32 noiseVariant = 7;       // varied per page
    int jpegQuality = 0;            // 1..100: JPEG; 0: lossless PNG
    bool redPrint = false;          // the form is printed red; the page is BGR

    bool movesGeometry() const;
    // 2 x 3 affine matrix (CV_64F) from template to distorted page coordinates.
    cv::Mat affine(QSize pageSize) const;
    // Where a template point lands on the distorted page.
    QPointF map(QPointF point, QSize pageSize) const;
    QString fileSuffix() const;     // "jpg" or "png"
};

class SheetRenderer {
public:
    explicit SheetRenderer(const SheetSpec &spec);

    const SheetSpec &spec() const { return m_spec; }

    // The template document in its stored text form (UTF-8, LF line ends).
    QByteArray templateXml() const;
    // The binarised printed-text patch of a page (what MatData holds); empty
    // on a rectangle page.
    cv::Mat textPatch(int pageIndex) const;

    // The page without marks: 8-bit grey, or BGR with red print.
    cv::Mat blankPage(int pageIndex, bool redPrint = false) const;
    // The page with the student's marks, distorted; grey unless redPrint.
    cv::Mat renderPage(int pageIndex, const StudentMarks &marks, const Distortion &distortion = {}) const;
    // Applies the geometric and noise steps of `distortion` to any page image.
    static cv::Mat distort(const cv::Mat &page, const Distortion &distortion, int pageIndex = 0);

    // Writes the XML (or, with complemented, the stored template file bytes).
    bool writeTemplate(const QString &path, bool complemented = false, QString *errorText = nullptr) const;
    // JPEG at jpegQuality 1..100, otherwise PNG.
    static bool writeImage(const QString &path, const cv::Mat &image, int jpegQuality,
                           QString *errorText = nullptr);
    // All pages of one student as prefix + six-digit running number from
    // firstNumber + "." + the distortion's suffix, so that names sort in page
    // order. Returns the paths in page order; empty on failure.
    QStringList writeSheet(const QString &folder, const StudentMarks &marks,
                           const Distortion &distortion = {}, const QString &prefix = QStringLiteral("sheet"),
                           int firstNumber = 1, QString *errorText = nullptr) const;

private:
    void drawForm(cv::Mat &page, int pageIndex, bool redPrint) const;
    void drawMarks(cv::Mat &page, int pageIndex, const StudentMarks &marks) const;

    SheetSpec m_spec;
    QVector<cv::Mat> m_patches;     // per page; computed once
};
