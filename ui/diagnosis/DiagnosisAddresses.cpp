#include "ui/diagnosis/DiagnosisRun.h"

namespace lumora {

DiagnosisAddresses DiagnosisAddresses::configured() {
  return {{TARNEL_REFERENCE_SITE_1, TARNEL_REFERENCE_SITE_2},
          {TARNEL_PROXY_TEST_SITE_1, TARNEL_PROXY_TEST_SITE_2, TARNEL_PROXY_TEST_SITE_1}};
}

}  // namespace lumora
