#pragma once

#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

class Database;
class MonitoringSession;
class QLabel;
struct StationState;

// Camera frames: fetched from an object's frame table into the file IMEI.jpg
// beside the executable, remembered with their time in Images.txt, and shown
// in the picture Image1 of the right-hand column with the time under it in
// Label11. A left click enlarges the picture over the area set by the main
// window (the object list) and back; a right click puts it back and lets the
// column close unless an alarm holds it open.
class FrameStore final : public QWidget
{
    Q_OBJECT

public:
    static inline const QString NoTime = QStringLiteral("0000-00-00 00:00:00");

    FrameStore(StationState &state, Database &database, MonitoringSession &session, QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    QLabel *Label11 = nullptr;

    // The widget an enlarged picture covers.
    void setEnlargeArea(QWidget *area);

    // Fetches the frame announced at date by a journal row of the object
    // imei, writes it to the object's frame file and shows it.
    void Image_From_Table(const QString &imei, const QString &date);
    // Shows the object's last fetched frame, or clears the picture.
    void OpenImage(const QString &imei);

    void Save_Image_Time(const QString &imei, const QString &dateTime);
    QString Load_Image_Time(const QString &imei) const;

    // Left click on the picture: enlarge over the object list, or put back.
    void Image1Click();
    // Right button on the picture: put back and close the column if no alarm is open.
    void Image1MouseDown(Qt::MouseButton button);

    // The object's frame file; empty for an IMEI that cannot name one.
    QString framePath(const QString &imei) const;
    // The frame shown, null when the picture is empty.
    const QImage &picture() const { return m_picture; }
    bool isEnlarged() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPicture(QImage picture);
    void render();
    void enlarge();
    void restore();

    StationState &m_state;
    Database &m_database;
    MonitoringSession &m_session;
    QLabel *m_image;
    QPointer<QWidget> m_list;
    QImage m_picture;
    QSize m_normalMinimum;
    QSize m_normalMaximum;
    int m_layoutIndex = -1;
};
