#include "FrameStore.h"

#include "Database.h"
#include "JournalSql.h"
#include "JpegImage.h"
#include "MonitoringSession.h"
#include "ProfileFile.h"
#include "StationState.h"

#include <QBoxLayout>
#include <QVBoxLayout>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

namespace {

const QString ImagesSection = QStringLiteral("Images");

} // namespace

FrameStore::FrameStore(StationState &state, Database &database, MonitoringSession &session, QWidget *parent)
    : QWidget(parent)
    , Image1(new QLabel(this))
    , Label11(new QLabel(this))
    , m_state(state)
    , m_database(database)
    , m_session(session)
    , m_image(Image1)
{
    setObjectName(QStringLiteral("FrameStore"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(MonitoringSession::ColumnWidth - 2, 224);
    layout->addWidget(Image1);
    Label11->setObjectName(QStringLiteral("Label11"));
    Label11->setTextFormat(Qt::PlainText);
    layout->addWidget(Label11);
    m_normalMinimum = Image1->minimumSize();
    m_normalMaximum = Image1->maximumSize();
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setCursor(Qt::PointingHandCursor);
    m_image->installEventFilter(this);
    // Images.txt keeps an entry for every object ever fetched and may be large:
    // it is parsed once here, at start, not at the first selection.
    ProfileFile(m_state.homeFile(QStringLiteral("Images.txt"))).keep();
}

void FrameStore::setEnlargeArea(QWidget *area)
{
    if (m_list)
        m_list->removeEventFilter(this);
    m_list = area;
    if (m_list)
        m_list->installEventFilter(this);
}

QString FrameStore::framePath(const QString &imei) const
{
    // The IMEI comes from the database; only digits may become a file name.
    if (!JournalSql::isFrameImei(imei))
        return {};
    return m_state.homeFile(imei + QStringLiteral(".jpg"));
}

void FrameStore::Image_From_Table(const QString &imei, const QString &date)
{
    const QString sql = JournalSql::frame(m_database.escaper(), imei, date);
    // Without a connection the fetch cannot succeed, and the file it would
    // replace is still the object's last frame.
    if (sql.isEmpty() || !m_state.Base_connected)
        return;
    const QString path = framePath(imei);
    // The old frame goes first, so that a failed fetch never leaves a stale
    // picture standing for the requested one.
    QFile::remove(path);

    QByteArray bytes;
    const auto found = m_database.selectOne(sql, [&bytes](const DbRow &row) { bytes = row.bytes(0); });
    if (found != Database::Lookup::Found || bytes.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return;

    Label11->setText(date);
    Save_Image_Time(imei, date);
    showPicture(JpegImage::fromFile(path));
    m_session.setPictureOpen(true);
}

void FrameStore::OpenImage(const QString &imei)
{
    const QString path = framePath(imei);
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        showPicture(JpegImage::fromFile(path));
        m_session.setPictureOpen(true);
        Label11->setText(Load_Image_Time(imei));
        return;
    }
    showPicture(QImage());
    Label11->clear();
    m_session.setPictureOpen(false);
}

void FrameStore::Save_Image_Time(const QString &imei, const QString &dateTime)
{
    ProfileFile(m_state.homeFile(QStringLiteral("Images.txt"))).writeString(ImagesSection, imei, dateTime);
}

QString FrameStore::Load_Image_Time(const QString &imei) const
{
    return ProfileFile(m_state.homeFile(QStringLiteral("Images.txt"))).readString(ImagesSection, imei, NoTime);
}

bool FrameStore::isEnlarged() const
{
    return m_image->parentWidget() != this;
}

void FrameStore::Image1Click()
{
    if (isEnlarged())
        restore();
    else
        enlarge();
}

void FrameStore::Image1MouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton)
        return;
    restore();
    m_session.setPictureOpen(false);
}

void FrameStore::showPicture(QImage picture)
{
    m_picture = std::move(picture);
    render();
}

void FrameStore::render()
{
    if (m_picture.isNull()) {
        m_image->clear();
        return;
    }
    const QSize room = m_image->contentsRect().size();
    if (room.isEmpty()) {
        m_image->setPixmap(QPixmap::fromImage(m_picture));
        return;
    }
    m_image->setPixmap(QPixmap::fromImage(m_picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void FrameStore::enlarge()
{
    if (isEnlarged() || !m_list)
        return;
    auto *column = qobject_cast<QBoxLayout *>(layout());
    m_layoutIndex = column ? column->indexOf(m_image) : -1;
    if (column)
        column->removeWidget(m_image);
    m_image->setParent(m_list);
    m_image->setMinimumSize(0, 0);
    m_image->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_image->setGeometry(m_list->rect());
    m_image->show();
    m_image->raise();
    render();
}

void FrameStore::restore()
{
    if (!isEnlarged())
        return;
    m_image->setParent(this);
    m_image->setMinimumSize(m_normalMinimum);
    m_image->setMaximumSize(m_normalMaximum);
    if (auto *column = qobject_cast<QBoxLayout *>(layout()))
        column->insertWidget(m_layoutIndex, m_image);
    m_image->show();
    render();
}

bool FrameStore::eventFilter(QObject *watched, QEvent *event)
{
    if (m_list && watched == m_list) {
        if (event->type() == QEvent::Resize && isEnlarged())
            m_image->setGeometry(m_list->rect());
        return false;
    }
    if (watched != m_image)
        return false;
    switch (event->type()) {
    case QEvent::Resize:
        render();
        break;
    case QEvent::MouseButtonPress:
        Image1MouseDown(static_cast<QMouseEvent *>(event)->button());
        break;
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_image->rect().contains(mouse->position().toPoint())) {
            Image1Click();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}
