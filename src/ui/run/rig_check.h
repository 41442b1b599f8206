#pragma once
// "Проверить связь": the rig opened once, its reference read, the rig closed, and
// what came of it in one line.
#include <QObject>
#include <functional>
#include <memory>

class TRig;

class TRigCheck : public QObject
{
    Q_OBJECT
public:
    explicit TRigCheck(QObject *parent = nullptr);
    ~TRigCheck() override;

    // Keeps the rig until done(text) has been called, once.
    void start(std::unique_ptr<TRig> rig, std::function<void(const QString &)> done);

private:
    std::unique_ptr<TRig> m_rig;
};
