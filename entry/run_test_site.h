// For handler tests that drive a whole Run on the sample site of the
// evaluation tests, with its scripted FTP server.
#pragma once

#include <memory>
#include <string>

#include "entry/run.h"
#include "evaluation/test_site.h"

namespace quarvel {
namespace test_site {

class RunSite : public Site {
 public:
  using Site::Site;

  // Built on first use with the start-up settings loaded, as the dispatch
  // would.
  Run& run() {
    if (!run_) {
      run_ = std::make_unique<Run>(platform, RunParts::kTimeoutMs);
      run_->loadStartupSettings();
    }
    return *run_;
  }

  void settle() override {
    Site::settle();
    if (run_) run_->stores.commit();
  }

 private:
  std::unique_ptr<Run> run_;
};

}  // namespace test_site
}  // namespace quarvel
