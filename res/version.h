// Version of wobblegen, shared by the About box, the version resource and wobblegen-cli.
#pragma once

#define WOBBLEGEN_VERSION_TEXT "1.0"
#define WOBBLEGEN_FILE_VERSION 1, 0, 0, 3
#define WOBBLEGEN_FILE_VERSION_TEXT "1, 0, 0, 3"
#define WOBBLEGEN_FILE_VERSION_DOTTED "1.0.0.3"
#define WOBBLEGEN_PRODUCT_VERSION 1, 0, 0, 1
#define WOBBLEGEN_PRODUCT_VERSION_TEXT "1, 0, 0, 1"
