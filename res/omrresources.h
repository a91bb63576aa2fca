#pragma once

// The compiled-in resources: icons under ":/image/res/images/", SVG images
// under ":/svgs/res/svgs/" and the Qt Chinese translation
// ":/translations/res/translations/qt_zh_CN.qm".
//
// They live in the static library omr_resources, whose objects the linker
// only takes when something refers to them. So every program and every test
// that uses a resource calls initOmrResources() once before the first use,
// best in main() right after the application object is built. Calling it more
// than once does no harm.
void initOmrResources();
