#include "worker/Workerengine.h"

#include <gtest/gtest.h>

#include "worker/Headlessprogressview.h"

namespace {

// An engine whose job fails for a reason, after the user cancelled when asked to.
class TFailingEngine : public TWorkerEngine {
 public:
  bool Run(bool cancelFirst) {
    TWorkerJob job;
    job.Work = [this, cancelFirst] {
      if (cancelFirst) Cancel();
      FailWith(fcNoSectorRead);
    };
    return Launch("Failing...", std::move(job));
  }
};

// A run tells why it failed until the next run starts; a run the user cancelled gives no
// reason; without a window nothing runs.
TEST(WorkerEngine, AFailureKeepsItsReasonUntilTheNextRunAndACancelGivesNone) {
  TFailingEngine engine;
  THeadlessProgressView view;
  EXPECT_FALSE(engine.Run(/*cancelFirst=*/false));
  EXPECT_EQ(engine.GetFailure(), fcNone);
  EXPECT_EQ(view.GetShowCount(), 0);

  engine.SetProgressView(&view);
  EXPECT_FALSE(engine.Run(/*cancelFirst=*/false));
  EXPECT_EQ(engine.GetFailure(), fcNoSectorRead);
  EXPECT_EQ(engine.GetState(), wsIdle);
  EXPECT_FALSE(engine.Run(/*cancelFirst=*/true));
  EXPECT_EQ(engine.GetFailure(), fcNone);
  EXPECT_EQ(view.GetShowCount(), 2);
}

}  // namespace
