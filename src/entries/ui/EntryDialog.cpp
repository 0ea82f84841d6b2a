#include "entries/ui/EntryDialog.h"

#include "store/GbkText.h"
#include "store/Records.h"
#include "widgets/MessageBox.h"
#include "widgets/Fonts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>
#include <QValidator>

namespace qv {

namespace {

// Refuses text that is longer than the field in GBK bytes or holds a
// character that GBK cannot store, instead of letting it be cut or turned
// into '?' when saved.
class GbkFieldValidator : public QValidator {
public:
    GbkFieldValidator(int limit, std::function<void(const QString&)> onRefuse, QObject* parent)
        : QValidator(parent), m_limit(limit), m_onRefuse(std::move(onRefuse))
    {
    }
    State validate(QString& input, int&) const override
    {
        const QString bad = gbk::firstUnencodable(input);
        // Stored bytes that are no GBK character show as U+FFFD. The field
        // stays editable (deleting that mark is how it is mended), but 确定
        // refuses it, since it cannot be stored back.
        if (bad == QString(QChar(QChar::ReplacementCharacter)) &&
            gbk::firstUnencodable(QString(input).remove(QChar(QChar::ReplacementCharacter))).isEmpty())
            return Intermediate;
        if (!bad.isEmpty()) {
            m_onRefuse(QStringLiteral("“%1”不是GBK字符，无法保存，请换用其他字。").arg(bad));
            return Invalid;
        }
        if (gbk::byteLength(input) > m_limit) {
            m_onRefuse(QStringLiteral("最多 %1 个字节（一个汉字占两个字节）。").arg(m_limit));
            return Invalid;
        }
        return Acceptable;
    }

private:
    int m_limit;
    std::function<void(const QString&)> m_onRefuse;
};

}  // namespace

EntryDialog::EntryDialog(const QString& caption, QSize clientSize, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(songTi());

    auto makeField = [this](const QString& accessible, int limit) {
        auto* e = new QLineEdit(this);
        e->setAccessibleName(accessible);
        e->setValidator(new GbkFieldValidator(
            limit, [this, e](const QString& why) { refused(e, why); }, e));
        return e;
    };
    Edtmc = makeField(QStringLiteral("名称"), kNameCapacity);
    Edtyb = makeField(QStringLiteral("邮编"), kPostcodeCapacity);
    Edtqh = makeField(QStringLiteral("区号"), kAreaCodeCapacity);
    Edtmc->setObjectName(QStringLiteral("Edtmc"));
    Edtyb->setObjectName(QStringLiteral("Edtyb"));
    Edtqh->setObjectName(QStringLiteral("Edtqh"));
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button2 = new QPushButton(QStringLiteral("取消"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    // Enter is 确定 from any field (and 取消 on 取消); Esc closes the dialog.
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(8);
    auto label = [this](const char* text, QLineEdit* buddy) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label("名称：", Edtmc), 0, 0);
    grid->addWidget(Edtmc, 0, 1, 1, 3);
    grid->addWidget(label("邮编：", Edtyb), 1, 0);
    grid->addWidget(Edtyb, 1, 1);
    grid->addWidget(label("区号：", Edtqh), 1, 2);
    grid->addWidget(Edtqh, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addSpacing(12);
    buttons->addWidget(Button2);
    buttons->addStretch();
    grid->addLayout(buttons, 2, 0, 1, 4);
    setTabOrder(Edtmc, Edtyb);
    setTabOrder(Edtyb, Edtqh);
    setTabOrder(Edtqh, Button1);
    setTabOrder(Button1, Button2);
    // The sizes the dialogs have always had, unless the fonts at hand need more.
    for (QLineEdit* e : {Edtyb, Edtqh})
        e->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8 + 8);
    setFixedSize(clientSize.expandedTo(grid->minimumSize()));
}

void EntryDialog::refused(QLineEdit* field, const QString& why)
{
    m_lastRefusal = why;
    // Beside the dialog, level with the field: a tip below it would lie over
    // the next field and swallow the click meant for it.
    QToolTip::showText(mapToGlobal(QPoint(width() + 4, field->y())), why, field);
}

void EntryDialog::setTexts(const EntryText& text)
{
    m_given = text;
    Edtmc->setText(gbk::toQString(text.name));
    Edtyb->setText(gbk::toQString(text.postcode));
    Edtqh->setText(gbk::toQString(text.areaCode));
    m_shown[0] = Edtmc->text();
    m_shown[1] = Edtyb->text();
    m_shown[2] = Edtqh->text();
}

EntryText EntryDialog::texts() const
{
    // A field left as setTexts filled it gives back the bytes it was given:
    // stored bytes that are no GBK character, or a character cut at the end
    // of a field, do not survive the trip through QString. A changed field
    // that cannot be encoded (confirmTexts refuses it) keeps its bytes too.
    auto field = [](const QLineEdit* e, const QString& shown, const std::string& given) {
        if (e->text() == shown)
            return given;
        return gbk::fromQString(e->text()).value_or(given);
    };
    EntryText t;
    t.name = field(Edtmc, m_shown[0], m_given.name);
    t.postcode = field(Edtyb, m_shown[1], m_given.postcode);
    t.areaCode = field(Edtqh, m_shown[2], m_given.areaCode);
    return t;
}

bool EntryDialog::confirmTexts()
{
    // A changed field must be storable as it stands: never store an empty
    // field in place of text that has no GBK form.
    const QLineEdit* fields[] = {Edtmc, Edtyb, Edtqh};
    const char* names[] = {"名称", "邮编", "区号"};
    for (int i = 0; i < 3; ++i) {
        if (fields[i]->text() == m_shown[i] || gbk::fromQString(fields[i]->text()))
            continue;
        showMessage(this, QStringLiteral("“%1”中有无法保存的字符（显示为“%2”），请删去或改正后再按确定。")
                              .arg(QString::fromUtf8(names[i]), gbk::firstUnencodable(fields[i]->text())));
        const_cast<QLineEdit*>(fields[i])->setFocus();
        return false;
    }
    // A place without name, postcode and area code would be a blank row
    // that no search finds.
    if (Edtmc->text().isEmpty() && Edtyb->text().isEmpty() && Edtqh->text().isEmpty()) {
        showMessage(this, QStringLiteral("名称、邮编和区号都是空的，没有保存。请至少填写一项后再按确定。"));
        Edtmc->setFocus();
        return false;
    }
    if (m_onConfirm)
        m_onConfirm(texts());
    return true;
}

TFrmAddInf::TFrmAddInf(QWidget* parent) : EntryDialog(QStringLiteral("增加新信息"), QSize(259, 129), parent)
{
    setObjectName(QStringLiteral("FrmAddInf"));
}

void TFrmAddInf::Button1Click()
{
    if (!confirmTexts())
        return;
    Edtmc->clear();
    Edtyb->clear();
    Edtqh->clear();
    Edtmc->setFocus();
}

TFrmEditInf::TFrmEditInf(QWidget* parent) : EntryDialog(QStringLiteral("修改信息"), QSize(261, 134), parent)
{
    setObjectName(QStringLiteral("FrmEditInf"));
    setAttribute(Qt::WA_DeleteOnClose);
}

void TFrmEditInf::Button1Click()
{
    if (confirmTexts())
        accept();
}

}  // namespace qv
