/* Format 7: quantities get their own domain, contracts a file link, payments an
   index on their date (a month's report reads its month, not every payment). */

CREATE DOMAIN KOLVO AS NUMERIC(15,3) DEFAULT 0 NOT NULL;

ALTER TABLE SALES ALTER KOLVO TYPE KOLVO;

ALTER TABLE DOG ADD FILEPATH VAR255 COLLATE PXW_CYRL;

CREATE INDEX IX_OPLATA_DATEOPL ON OPLATA (DATEOPL);
