// The progress-bar observers on a real (offscreen) progress bar.

#include <QProgressBar>
#include <QtTest>

#include "kbddrv/ekkbddrv.h"
#include "kbddrv/ekkbddrvexception.h"
#include "progress/pbarobservers.h"
#include "support/keyboardrig.h"

namespace {

// A stream whose position the test sets.
class FakePositionStream : public NvbStream {
public:
    void read(EkDataFile&) override {}
    void write(EkDataFile&) override {}
    std::int32_t position() const override { return position_; }
    std::int32_t size() const override { return 300; }
    void moveTo(std::int32_t position) {
        position_ = position;
        notifyObservers();
    }

private:
    std::int32_t position_ = 0;
};

}  // namespace

class TestPBarObservers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void withoutABarNothingHappens();
    void fullListingFillsTheBar();
    void streamPositionIsAssigned();
    void aBarThatIsGoneIsIgnored();
};

void TestPBarObservers::withoutABarNothingHappens() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    PBarKbdDrvObserver observer(nullptr);
    driver.attachObserver(&observer);
    driver.getList(rig.inputNumber(), rig.outputNumber());
    FakePositionStream stream;
    PBarNvbObserver streamObserver(nullptr);
    stream.attachObserver(&streamObserver);
    stream.moveTo(128);
    QVERIFY(driver.isConnected());
}

void TestPBarObservers::fullListingFillsTheBar() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    QProgressBar bar;
    bar.setMaximum(driver.progressTotal());
    bar.setValue(0);
    PBarKbdDrvObserver observer(&bar);
    driver.attachObserver(&observer);
    driver.getList(rig.inputNumber(), rig.outputNumber());
    QCOMPARE(bar.value(), 143);
    QCOMPARE(bar.maximum(), 143);  // steps are added up, not assigned

    bar.setValue(0);
    EkKbdDrv wrongModel("MLS-000");
    PBarKbdDrvObserver idle(&bar);
    wrongModel.attachObserver(&idle);
    QVERIFY_THROWS_EXCEPTION(EkKbdDrvException,
                             wrongModel.getList(rig.inputNumber(), rig.outputNumber()));
    QCOMPARE(bar.value(), 0);
}

void TestPBarObservers::streamPositionIsAssigned() {
    QProgressBar bar;
    bar.setMaximum(300);
    PBarNvbObserver observer(&bar);
    FakePositionStream stream;
    stream.attachObserver(&observer);
    stream.moveTo(128);
    QCOMPARE(bar.value(), 128);
    stream.moveTo(256);
    QCOMPARE(bar.value(), 256);
}

void TestPBarObservers::aBarThatIsGoneIsIgnored() {
    auto bar = std::make_unique<QProgressBar>();
    PBarNvbObserver observer(bar.get());
    FakePositionStream stream;
    stream.attachObserver(&observer);
    bar.reset();
    stream.moveTo(64);
    QCOMPARE(stream.position(), 64);
}

QTEST_MAIN(TestPBarObservers)
#include "tst_pbarobservers.moc"
