#include "lookup/ui/DirectoryHits.h"

#include "store/DirectoryTree.h"
#include "store/GbkText.h"

namespace qv {

namespace {
// A search for a common syllable may match many captions; the first ones
// are what a person looks for.
constexpr size_t kShown = 30;
}  // namespace

DirectoryHits::DirectoryHits(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("DirectoryHits"));
    setAccessibleName(QStringLiteral("找到的目录"));
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setWordWrap(true);
    setContentsMargins(4, 2, 4, 2);
    connect(this, &QLabel::linkActivated, this, [this](const QString& link) { choose(link.toInt()); });
    hide();
}

void DirectoryHits::showDirectories(const std::vector<const DirectoryNode*>& nodes)
{
    m_ids.clear();
    QString text = QStringLiteral("目录：");
    for (size_t i = 0; i < nodes.size() && i < kShown; ++i) {
        m_ids.push_back(nodes[i]->id);
        QString path = gbk::toQString(nodes[i]->caption).toHtmlEscaped();
        for (const DirectoryNode* p = nodes[i]->parent; p && p->parent; p = p->parent)
            path = gbk::toQString(p->caption).toHtmlEscaped() + QStringLiteral("/") + path;
        text += QStringLiteral("<a href=\"%1\">%2</a>　").arg(i).arg(path);
    }
    if (nodes.size() > kShown)
        text += QStringLiteral("等%1个").arg(nodes.size());
    setText(m_ids.empty() ? QString() : text);
    setVisible(!m_ids.empty());
}

void DirectoryHits::choose(int i)
{
    if (i >= 0 && size_t(i) < m_ids.size())
        emit chosen(m_ids[size_t(i)]);
}

}  // namespace qv
