#pragma once
// One live window per guarded class. The guard is a name held by the open
// window; asking for a second window of the class is refused before the new
// window subscribes to anything, and the opener brings the open one forward.
#include <QString>
#include <QWidget>
#include <functional>
#include <stdexcept>

namespace WindowGuards {
inline const QString SettingsName = QStringLiteral("MyApp_Form_Mutex_{8B5488BC-0FBF-4C1B-BFC4-A0D86B2496BE}");
inline const QString SettingsTitle = QStringLiteral("Настройка прибора");
inline const QString KalibrovkaName = QStringLiteral("MyApp_Form_Mutex_{3FF77E02-FAFC-449D-92F6-B5B542B5A100}");
inline const QString KalibrovkaTitle = QStringLiteral("Калибровка");
inline const QString CalibrationRunName = QStringLiteral("MyApp_Form_Mutex_{6C1D2E3A-5B47-4F08-9A61-2D7E4C0B9F35}");
inline const QString CalibrationRunTitle = QStringLiteral("Калибровка по шагам");
inline const QString AlreadyOpenMessage = QStringLiteral("Форма уже открыта!");
} // namespace WindowGuards

class FormAlreadyOpenError : public std::runtime_error
{
public:
    FormAlreadyOpenError() : std::runtime_error(WindowGuards::AlreadyOpenMessage.toStdString()) {}
};

// Base of the guarded windows: a top-level window owned by its opener that is
// destroyed when closed. The derived constructor builds its controls, then calls
// ClaimGuard(), and only then its FormCreate().
class TGuardedForm : public QWidget
{
    Q_OBJECT
public:
    ~TGuardedForm() override;

    const QString &guardName() const { return m_guardName; }
    // Non-zero while this window holds its class's guard.
    quintptr guardHandle() const { return FMutex; }

protected:
    TGuardedForm(const QString &guardName, QWidget *owner);

    // Takes the guard; true when another window of the class already holds it
    // (this window then holds nothing).
    bool FormAlreadyOpen();
    // FormAlreadyOpen(), failing the construction with "Форма уже открыта!".
    void ClaimGuard();
    // Releases the guard if held; safe to call more than once.
    void FormDestroy();

    quintptr FMutex = 0;

private:
    QString m_guardName;
};

// The window holding this guard, or null.
QWidget *FindGuardedWindow(const QString &guardName);

// Raises and activates a window without restoring it when minimised.
void BringToFront(QWidget *window);

// Creates a guarded window and shows it non-modally. Any error while creating or
// showing shows nothing: the open window of that guard comes to the front
// instead and the result is null.
QWidget *OpenGuardedWindow(const QString &guardName, const std::function<QWidget *()> &create);
