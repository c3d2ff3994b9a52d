#include "service/ProductPage.h"

namespace obx {

void openProductPage(PageOpener& opener, ServiceLog& log) {
    if (const int error = opener.open(productPageAddress)) {
        log.write(4, "Error creating launching product webpage, rc: %d\n", error);
    } else {
        log.write(2, "Quellane product webpage started\n");
    }
}

} // namespace obx
