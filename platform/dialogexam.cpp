#include "dialogexam.h"
#include "ui_dialogexam.h"

#include "answerparsing.h"
#include "examsession.h"
#include "folderchooser.h"
#include "inifile.h"
#include "messagebox.h"
#include "platformreplies.h"
#include "platformrequest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSettings>

namespace {

const QString kTitle = QStringLiteral("提示");

void warn(QWidget *parent, const QString &text)
{
    MessageBox::warning(parent, kTitle, text);
}

void inform(QWidget *parent, const QString &text)
{
    MessageBox::information(parent, kTitle, text);
}

// The id names the exam's folder: only a text of letters, digits, '-' and '_' will do.
QString invalidExamIdText(const PlatformReplies::ExamEntry &exam)
{
    QString text = QStringLiteral("考试编号不合法：%1").arg(exam.idAsSent);
    if (exam.idAsSent.isEmpty())
        text += QStringLiteral("（平台没有发来考试编号）");
    else if (exam.id.isEmpty())
        text += QStringLiteral("（平台发来的考试编号不是文本）");
    return text;
}

} // namespace

DialogExam::DialogExam(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogExam), m_main(dynamic_cast<ExamSession *>(parent))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->buttonBoxOK->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    m_manager = new QNetworkAccessManager(this);

    ui->widgetUpgrade->hide();
    ui->checkBoxAllowUploadMore->hide();
    // A list of many thousand exams is laid out a slice at a time, between
    // events, instead of in one long freeze.
    ui->listWidgetExam->setLayoutMode(QListView::Batched);
    ui->listWidgetExam->setBatchSize(500);

    // The disabled boxes are status lamps.
    setStyleSheet(QStringLiteral(
        "QCheckBox::indicator:unchecked { image: url(:/svgs/res/svgs/unchecked.svg); }"
        "QCheckBox::indicator:checked { image: url(:/svgs/res/svgs/checked.svg); }"));

    QTableWidget *table = ui->tableWidget;
    const QStringList headers{QStringLiteral("题号"), QStringLiteral("单/多选"), QStringLiteral("答案"),
                              QStringLiteral("分值"), QStringLiteral("判断方式"), QStringLiteral("漏选得分")};
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    table->horizontalHeader()->setStretchLastSection(true);

    connect(ui->pushButtonRefresh, &QPushButton::clicked, this, &DialogExam::refresh);
    connect(ui->pushButtonImageSavePath, &QPushButton::clicked, this, &DialogExam::chooseFolder);
    connect(ui->pushButtonUpgrade, &QPushButton::clicked, this, &DialogExam::upgradeCheck);
    connect(ui->toolButtonBack, &QToolButton::clicked, this, &DialogExam::back);
    connect(ui->listWidgetExamName, &QListWidget::itemDoubleClicked, this, &DialogExam::projectDoubleClicked);
    connect(ui->listWidgetExam, &QListWidget::itemClicked, this, &DialogExam::examClicked);
    connect(ui->buttonBoxOK, &QDialogButtonBox::accepted, this, &DialogExam::accept);

    const std::unique_ptr<QSettings> settings = openSettingsFile();
    ui->lineEditImageSavePath->setText(settings->value(QStringLiteral("Scan/SavePath"), QString()).toString());
    if (settings->value(QStringLiteral("Account/CustomerType"), QString()).toString() == QLatin1String("union")) {
        ui->labelSchoolName->setText(settings->value(QStringLiteral("Account/SchoolName"), QString()).toString());
    } else {
        ui->labelSchoolName->clear();
        ui->labelSchoolName->hide();
    }
    ui->checkBoxSheetUploadSchool->setVisible(isUnion());

    loadProjects();
}

DialogExam::~DialogExam()
{
    delete ui;
}

bool DialogExam::isUnion() const
{
    return m_main && m_main->customerType == QLatin1String("union");
}

bool DialogExam::requestRunning() const
{
    return m_currentReply && m_currentReply->isRunning();
}

bool DialogExam::postFormAndWait(const QString &path, const PlatformForm &query, const PlatformForm &form,
                                 PlatformReply &result)
{
    QNetworkReply *reply = PlatformRequest::postForm(
        m_manager, PlatformRequest::customerUrl(m_main->customerType, m_main->customerCode, path, query), form);
    const quint64 serial = beginRequest(reply);
    result = PlatformRequest::waitAndRead(reply);
    return isCurrent(serial);
}

quint64 DialogExam::beginRequest(QNetworkReply *reply)
{
    m_currentReply = reply;
    return ++m_serial;
}

void DialogExam::forgetExam()
{
    examId.clear();
    examName.clear();
    subject.clear();
    gradeId.clear();
    grade.clear();
    answerSettings.clear();
    optionalAnswerSettings.clear();
    templateDoc.Clear();
    examInfoLoaded = false;
    templateParsed = false;
    m_templateMissing = false;
}

void DialogExam::clearStatusBoxes()
{
    ui->checkBoxObjectAnswer->setChecked(false);
    ui->checkBoxOptionalObjectAnswer->setChecked(false);
    ui->checkBoxLumbrisk->setChecked(false);
    ui->checkBoxSheetUpload->setChecked(false);
}

const QIcon &DialogExam::subjectIcon(const QString &subject)
{
    // Every exam of a subject shares one decoded badge: a list of many
    // exams must not decode (and hold) a picture per item.
    static const QString fallback = QStringLiteral("考");
    const QString badge = subject.left(1);
    auto it = m_subjectIcons.constFind(badge);
    if (it == m_subjectIcons.constEnd()) {
        const QString path = QStringLiteral(":/image/res/images/subjects/%1.png").arg(badge);
        const bool known = badge == fallback || (!badge.isEmpty() && QFile::exists(path));
        // Subjects without a badge of their own share the fallback's.
        it = m_subjectIcons.insert(badge, known ? QIcon(path) : subjectIcon(fallback));
    }
    return it.value();
}

// ---------------------------------------------------------------- requests

void DialogExam::loadProjects()
{
    ui->listWidgetExamName->clear();
    if (!m_main)
        return;

    PlatformMultipart parts;
    parts.add(QStringLiteral("key"), m_main->dataKey);
    parts.add(QStringLiteral("version_code"), QStringLiteral("2025052800"));
    parts.add(QStringLiteral("version_name"), QStringLiteral("4.2"));
    if (isUnion())
        parts.add(QStringLiteral("school_id"), m_main->schoolID);
    QNetworkReply *reply = PlatformRequest::postMultipart(
        m_manager,
        PlatformRequest::customerUrl(m_main->customerType, m_main->customerCode, QStringLiteral("/client/projects")),
        parts);
    const quint64 serial = beginRequest(reply);
    const PlatformReply result = PlatformRequest::waitAndRead(reply);
    if (!isCurrent(serial))
        return;

    if (result.failed) {
        warn(this, result.codeFailureText());
    } else if (!result.json) {
        inform(this, QStringLiteral("未知错误！\n") + result.unreadableText());
    } else {
        const PlatformReplies::ProjectList list = PlatformReplies::readProjects(result);
        if (!list.readable) {
            warn(this, result.unreadableText());
        } else if (list.code == 200) {
            for (const PlatformReplies::ProjectList::Project &project : list.projects) {
                auto *item = new QListWidgetItem(project.name, ui->listWidgetExamName);
                item->setData(Qt::UserRole, project.id);
            }
            if (list.upgradeOffered) {
                ui->labelUpgrade->setText(QStringLiteral("发现新版本：%1 => %2").arg(list.versionNow, list.versionNew));
                ui->widgetUpgrade->show();
            }
            if (!list.refused.isEmpty())
                warn(this, QStringLiteral("以下考试项目的编号不合法，未列出：\n%1").arg(list.refused.join(QLatin1Char('\n'))));
        } else if (list.code == 501) {
            inform(this, list.message);
            upgradeCheck();
            return;
        } else {
            warn(this, QStringLiteral("%1:%2").arg(list.code).arg(list.message));
        }
    }
    ui->listWidgetExamName->setCurrentRow(-1);
    ui->listWidgetExamName->clearSelection();
}

void DialogExam::loadExams(const QString &projectId)
{
    const QListWidgetItem *project = ui->listWidgetExamName->currentItem();
    ui->labelExamName->setText(project ? project->text() : QString());
    ui->listWidgetExam->clear();
    forgetExam();
    if (!m_main)
        return;

    PlatformForm query;
    query.add(QStringLiteral("project_id"), projectId);
    PlatformForm form;
    form.add(QStringLiteral("key"), m_main->dataKey);
    if (isUnion())
        form.add(QStringLiteral("school_id"), m_main->schoolID);
    PlatformReply result;
    if (!postFormAndWait(QStringLiteral("/client/exams"), query, form, result))
        return;

    if (result.failed) {
        warn(this, result.bareFailureText());
        return;
    }
    if (!result.isArray()) {
        // An empty body, a page of text or an error object: not a list of exams.
        const QJsonObject object = result.object();
        if (result.isObject() && object.contains(QStringLiteral("code")))
            warn(this, QStringLiteral("%1:%2").arg(PlatformReply::anyText(object.value(QStringLiteral("code"))),
                                                  PlatformReply::anyText(object.value(QStringLiteral("message")))));
        else
            inform(this, QStringLiteral("未知错误！\n") + result.unreadableText());
    } else {
        for (const QJsonObject &exam : PlatformReplies::readExams(result)) {
            const PlatformReplies::ExamEntry entry = PlatformReplies::readExamEntry(exam);
            // Filled before it joins the list: each change of an item in the
            // list would be a model signal.
            auto *item = new QListWidgetItem(subjectIcon(entry.subject), entry.grade + QStringLiteral(" \n ") + entry.subject);
            item->setData(Qt::UserRole, exam);
            ui->listWidgetExam->addItem(item);
        }
    }
    ui->stackedWidget->setCurrentIndex(1);
    ui->listWidgetExam->scrollToTop();
    ui->listWidgetExam->setCurrentRow(-1);
    ui->listWidgetExam->clearSelection();
}

void DialogExam::showExamStatus()
{
    const QListWidgetItem *item = ui->listWidgetExam->currentItem();
    if (!item)
        return;
    const PlatformReplies::ExamEntry exam = PlatformReplies::readExamEntry(item->data(Qt::UserRole).toJsonObject());

    // Nothing of the exam clicked before may stay lit.
    clearStatusBoxes();
    ui->checkBoxObjectAnswer->setChecked(exam.objectAnswerOk);
    ui->checkBoxOptionalObjectAnswer->setChecked(exam.optionalObjectAnswerOk);
    ui->checkBoxLumbrisk->setChecked(exam.templateOk);
    ui->checkBoxSheetUploadSchool->setChecked(exam.uploadedBySchool);
    ui->checkBoxSheetUpload->setChecked(exam.uploaded);
    ui->checkBoxAllowUploadMore->setChecked(exam.allowUploadMore);
    ui->checkBoxAllowUploadMore->setVisible(exam.allowUploadMoreKnown);

    forgetExam();
    examId = exam.id;
    gradeId = exam.gradeId;
    const QListWidgetItem *project = ui->listWidgetExamName->currentItem();
    examName = project ? project->text() : QString();
    grade = exam.grade;
    subject = exam.subject;

    // The exam id names the exam's folder on disk.
    if (!PlatformRequest::isSafeIdentifier(examId)) {
        ui->tableWidget->setRowCount(0);
        ++m_serial; // a reply still coming for another exam is of no use now
        warn(this, invalidExamIdText(exam));
        return;
    }
    loadExamInfo(examId);
}

void DialogExam::loadExamInfo(const QString &id)
{
    ui->tableWidget->setRowCount(0);
    answerSettings.clear();
    optionalAnswerSettings.clear();
    templateDoc.Clear();
    examInfoLoaded = false;
    templateParsed = false;
    m_templateMissing = false;
    if (!m_main)
        return;

    PlatformForm query;
    query.add(QStringLiteral("exam_id"), id);
    PlatformForm form;
    form.add(QStringLiteral("key"), m_main->dataKey);
    PlatformReply result;
    if (!postFormAndWait(QStringLiteral("/client/exam-info"), query, form, result))
        return;

    if (result.failed) {
        warn(this, result.codeFailureText());
        return;
    }
    const PlatformReplies::ExamInfo info = PlatformReplies::readExamInfo(result);
    if (!info.object) {
        warn(this, QStringLiteral("考试信息未能获取：") + result.unreadableText());
        return;
    }

    QTableWidget *table = ui->tableWidget;
    auto addRows = [table](const QVector<AnswerParsing::AnswerRow> &rows, QVector<AnswerSetting> &into) {
        for (const AnswerParsing::AnswerRow &row : rows) {
            const int r = table->rowCount();
            table->insertRow(r);
            for (int c = 0; c < row.cells.size(); ++c)
                table->setItem(r, c, new QTableWidgetItem(row.cells.at(c)));
            into.append(row.setting);
        }
    };
    addRows(info.answers, answerSettings);
    addRows(info.optionalAnswers, optionalAnswerSettings);

    m_templateMissing = !info.hasTemplate;
    if (!m_templateMissing) {
        const QByteArray &xml = info.templateXml;
        if (templateDoc.Parse(xml.constData(), size_t(xml.size())) == tinyxml2::XML_SUCCESS) {
            templateParsed = true;
        } else {
            warn(this, QStringLiteral("解析模板文件失败"));
        }
    }
    examInfoLoaded = true;
}

// ---------------------------------------------------------------- buttons and lists

void DialogExam::projectDoubleClicked(QListWidgetItem *item)
{
    if (!item)
        return;
    ui->listWidgetExamName->setCurrentItem(item);
    loadExams(QString::number(item->data(Qt::UserRole).toInt()));
}

void DialogExam::examClicked(QListWidgetItem *item)
{
    if (!item)
        return;
    ui->listWidgetExam->setCurrentItem(item);
    showExamStatus();
}

void DialogExam::back()
{
    ui->listWidgetExam->clear();
    forgetExam();
    ui->stackedWidget->setCurrentIndex(0);
    clearStatusBoxes();
}

void DialogExam::refresh()
{
    ui->listWidgetExamName->clear();
    ui->listWidgetExam->clear();
    forgetExam();
    clearStatusBoxes();
    ui->checkBoxSheetUploadSchool->setChecked(false);
    ui->tableWidget->setRowCount(0);
    loadProjects();
    ui->stackedWidget->setCurrentIndex(0);
}

void DialogExam::chooseFolder()
{
    const QString chosen = ::chooseFolder(this, QStringLiteral("指定路径"), ui->lineEditImageSavePath->text());
    if (!chosen.isEmpty())
        ui->lineEditImageSavePath->setText(chosen);
}

void DialogExam::upgradeCheck()
{
    if (m_main)
        m_main->upgrade();
}

// ---------------------------------------------------------------- closing

void DialogExam::accept()
{
    if (requestRunning()) {
        warn(this, QStringLiteral("网络请求未完成"));
        return;
    }
    if (ui->listWidgetExamName->selectedItems().isEmpty() || ui->listWidgetExam->selectedItems().isEmpty()) {
        warn(this, QStringLiteral("请选择考试信息"));
        return;
    }
    if (!ui->checkBoxLumbrisk->isChecked()) {
        warn(this, QStringLiteral("答卷模板文件未上传。"));
        return;
    }
    if (!PlatformRequest::isSafeIdentifier(examId)) {
        const QListWidgetItem *item = ui->listWidgetExam->currentItem();
        warn(this, invalidExamIdText(PlatformReplies::readExamEntry(item ? item->data(Qt::UserRole).toJsonObject()
                                                                         : QJsonObject())));
        return;
    }
    if (!examInfoLoaded) {
        warn(this, QStringLiteral("考试信息未能获取，请重新选择考试。"));
        return;
    }
    if (!templateParsed) {
        warn(this, m_templateMissing ? QStringLiteral("答卷模板文件未上传。") : QStringLiteral("解析模板文件失败"));
        return;
    }
    if (ui->checkBoxSheetUpload->isChecked() && !ui->checkBoxAllowUploadMore->isChecked()) {
        warn(this, QStringLiteral("%1\n%2\n%3")
                       .arg(QStringLiteral("该考试已经上传过数据了,且不允许追加上传。"),
                            QStringLiteral("如果要重新上传考试数据：管理员登录平台-》该考试管理-》数据和答卷上传信息-》删除由Ardentiq上传的数据"),
                            QStringLiteral("如果要追加上传数据：管理员登录平台-》该考试管理-》数据和答卷上传信息-》设置为【允许】追加上传")));
        return;
    }
    if (isUnion() && ui->checkBoxSheetUploadSchool->isChecked()) {
        warn(this, QStringLiteral("该考试本学校已经上传过数据了。\n如果要重新上传本次考试数据，管理员需在网页端删除本次上传数据。"));
        return;
    }
    imageSavePath = QDir::toNativeSeparators(ui->lineEditImageSavePath->text());
    if (imageSavePath.isEmpty() || !QFileInfo(imageSavePath).isDir()) {
        warn(this, QStringLiteral("指定的路径不合法"));
        return;
    }

    const std::unique_ptr<QSettings> settings = openSettingsFile();
    settings->setValue(QStringLiteral("Scan/SavePath"), ui->lineEditImageSavePath->text());
    settings->sync();
    if (settings->status() != QSettings::NoError)
        warn(this, settingsWriteFailedMessage(settings->fileName()));

    // Only an accepted choice reaches the main window.
    if (m_main) {
        m_main->answerSettings = answerSettings;
        m_main->optionalAnswerSettings = optionalAnswerSettings;
        templateDoc.DeepCopy(&m_main->templateDoc);
    }
    QDialog::accept();
}

void DialogExam::reject()
{
    if (requestRunning()) {
        warn(this, QStringLiteral("网络请求未完成"));
        return;
    }
    QDialog::reject();
}
