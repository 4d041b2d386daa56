# Fuzz targets: filled in by the reliability work.
