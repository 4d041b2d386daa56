# Message catalogs: filled in by the translations work.
