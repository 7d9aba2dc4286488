-- Stored functions of the ERP database that Tarvelo calls, with the few helpers they share.
-- UBL documents are read by local names (local-name() in XPath), so any namespace prefix, or none,
-- reads the same.

-- Text for XML content and double-quoted attributes.
CREATE FUNCTION o_xml_escape(p text) RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT replace(replace(replace(replace(coalesce(p, ''), '&', '&amp;'), '<', '&lt;'), '>', '&gt;'),
                   '"', '&quot;')
$$;

-- Parses document text as XML; NULL when it is not well-formed.
CREATE FUNCTION o_xml_parse(p text) RETURNS xml LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
    -- The declaration may name an encoding the server refuses for text input; the text is UTF-8.
    RETURN xmlparse(DOCUMENT regexp_replace(ltrim(p, chr(65279) || E' \t\r\n'), '^<\?xml[^>]*\?>', ''));
EXCEPTION WHEN others THEN
    RETURN NULL;
END $$;

-- A value as read from XML: surrounding white space removed, empty meaning absent.
CREATE FUNCTION o_xml_val(p text) RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT nullif(btrim(p, E' \t\r\n'), '')
$$;

-- An xs:decimal as UBL writes amounts and quantities; NULL when the text is not one.
CREATE FUNCTION o_text_numeric(p text) RETURNS numeric LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN p ~ '^[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)$' THEN p::numeric END
$$;

-- An xs:date without time zone (YYYY-MM-DD); NULL when the text is not a real date.
CREATE FUNCTION o_text_date(p text) RETURNS date LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
    IF p !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$' THEN
        RETURN NULL;
    END IF;
    RETURN to_date(p, 'YYYY-MM-DD');
EXCEPTION WHEN data_exception THEN
    RETURN NULL;  -- 2024-02-30 and the like
END $$;

-- The company's fiscal code as digits only (its CUI), as ANAF wants it in declarations.
CREATE FUNCTION o_eu_cui() RETURNS text LANGUAGE plpgsql STABLE AS $$
DECLARE
    cui text;
BEGIN
    SELECT regexp_replace(cod_cci, '[^0-9]', '', 'g') INTO cui FROM eu LIMIT 1;
    IF coalesce(cui, '') = '' THEN
        RAISE EXCEPTION 'Codul fiscal al firmei lipseste (tabela eu)';
    END IF;
    RETURN cui;
END $$;

-- The header values of a UBL invoice or credit note, in one pass over the document (each XPath
-- call on an xml value parses the document again, which made the per-row readers slow).
CREATE FUNCTION o_ubl_antet(p_doc xml)
RETURNS TABLE (radacina text, id text, data_emitere text, cod_tip text, moneda text,
               furnizor text, furnizor_cui text, cumparator text, total_cu_tva text, rotunjire text)
LANGUAGE sql IMMUTABLE AS $$
    SELECT x.radacina, o_xml_val(x.id), o_xml_val(x.data_emitere), o_xml_val(x.cod_tip), o_xml_val(x.moneda),
           coalesce(o_xml_val(x.furnizor_reg), o_xml_val(x.furnizor_nume)),
           coalesce(o_xml_val(x.furnizor_cui_tva), o_xml_val(x.furnizor_cui_reg)),
           coalesce(o_xml_val(x.cumparator_reg), o_xml_val(x.cumparator_nume)),
           o_xml_val(x.total_cu_tva), o_xml_val(x.rotunjire)
      FROM XMLTABLE('/*' PASSING p_doc COLUMNS
           radacina         text PATH 'local-name(.)',
           id               text PATH '(*[local-name()="ID"])[1]',
           data_emitere     text PATH '(*[local-name()="IssueDate"])[1]',
           cod_tip          text PATH '(*[local-name()="InvoiceTypeCode" or local-name()="CreditNoteTypeCode"])[1]',
           moneda           text PATH '(*[local-name()="DocumentCurrencyCode"])[1]',
           furnizor_reg     text PATH '(*[local-name()="AccountingSupplierParty"]/*[local-name()="Party"]/*[local-name()="PartyLegalEntity"]/*[local-name()="RegistrationName"])[1]',
           furnizor_nume    text PATH '(*[local-name()="AccountingSupplierParty"]/*[local-name()="Party"]/*[local-name()="PartyName"]/*[local-name()="Name"])[1]',
           furnizor_cui_tva text PATH '(*[local-name()="AccountingSupplierParty"]/*[local-name()="Party"]/*[local-name()="PartyTaxScheme"]/*[local-name()="CompanyID"])[1]',
           furnizor_cui_reg text PATH '(*[local-name()="AccountingSupplierParty"]/*[local-name()="Party"]/*[local-name()="PartyLegalEntity"]/*[local-name()="CompanyID"])[1]',
           cumparator_reg   text PATH '(*[local-name()="AccountingCustomerParty"]/*[local-name()="Party"]/*[local-name()="PartyLegalEntity"]/*[local-name()="RegistrationName"])[1]',
           cumparator_nume  text PATH '(*[local-name()="AccountingCustomerParty"]/*[local-name()="Party"]/*[local-name()="PartyName"]/*[local-name()="Name"])[1]',
           total_cu_tva     text PATH '(*[local-name()="LegalMonetaryTotal"]/*[local-name()="TaxInclusiveAmount"])[1]',
           rotunjire        text PATH '(*[local-name()="LegalMonetaryTotal"]/*[local-name()="PayableRoundingAmount"])[1]') x
$$;

-- Reads a UBL 2.1 invoice or credit note (CIUS-RO). Never raises, so that one bad message cannot
-- break a list: a faulty or foreign document gives one row whose err_xml says what is wrong, with
-- whatever values could still be read. A missing total or rounding amount is not a fault.
CREATE FUNCTION o_e_fact_read_xml(p_xml text)
RETURNS TABLE (err_xml text, data_doc_xml date, tip_doc_xml text, nr_doc_xml text,
               partener_xml text, partener_cump_xml text, type_code_doc_xml text,
               val_cu_tva_mon_xml numeric, val_rotunjire_plata_xml numeric)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    d xml;
    h record;
    errs text[] := '{}';
BEGIN
    IF o_xml_val(p_xml) IS NULL THEN
        err_xml := 'XML lipsa';
        RETURN NEXT;
        RETURN;
    END IF;
    d := o_xml_parse(p_xml);
    IF d IS NULL THEN
        err_xml := 'XML invalid (nu este un document XML bine format)';
        RETURN NEXT;
        RETURN;
    END IF;
    BEGIN
        SELECT * INTO h FROM o_ubl_antet(d);
    EXCEPTION WHEN others THEN
        err_xml := 'XML-ul nu poate fi citit: ' || SQLERRM;
        RETURN NEXT;
        RETURN;
    END;
    IF h.radacina IS NULL OR h.radacina NOT IN ('Invoice', 'CreditNote') THEN
        err_xml := 'Documentul nu este o factura UBL (element radacina ' || coalesce(h.radacina, '?') || ')';
        RETURN NEXT;
        RETURN;
    END IF;
    tip_doc_xml := h.radacina;
    nr_doc_xml := h.id;
    type_code_doc_xml := left(h.cod_tip, 7);
    partener_xml := h.furnizor;
    partener_cump_xml := h.cumparator;
    data_doc_xml := o_text_date(h.data_emitere);
    val_cu_tva_mon_xml := o_text_numeric(h.total_cu_tva);
    val_rotunjire_plata_xml := o_text_numeric(h.rotunjire);
    IF h.id IS NULL THEN
        errs := errs || 'ID lipsa'::text;
    END IF;
    IF data_doc_xml IS NULL THEN
        errs := errs || ('IssueDate invalid: ' || coalesce(h.data_emitere, 'lipsa'));
    END IF;
    IF h.total_cu_tva IS NOT NULL AND val_cu_tva_mon_xml IS NULL THEN
        errs := errs || ('TaxInclusiveAmount invalid: ' || h.total_cu_tva);
    END IF;
    IF h.rotunjire IS NOT NULL AND val_rotunjire_plata_xml IS NULL THEN
        errs := errs || ('PayableRoundingAmount invalid: ' || h.rotunjire);
    END IF;
    err_xml := nullif(array_to_string(errs, '; '), '');
    RETURN NEXT;
END $$;

-- Leaves in temp_lista_mesaje the messages of one list page that are not stored yet.
CREATE FUNCTION o_efact_umplu_msg(plistamesaje text) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    j jsonb;
BEGIN
    IF to_regclass('pg_temp.temp_lista_mesaje') IS NULL THEN
        CREATE TEMP TABLE temp_lista_mesaje (
            data_creare text, cif text, id_solicitare text, detalii text, tip text, id text);
    END IF;
    DELETE FROM temp_lista_mesaje;
    BEGIN
        j := plistamesaje::jsonb;
    EXCEPTION WHEN others THEN
        RAISE EXCEPTION 'Lista de mesaje nu este JSON valid: %', left(plistamesaje, 200);
    END;
    IF jsonb_typeof(j -> 'mesaje') IS DISTINCT FROM 'array' THEN
        RETURN;  -- an "eroare" answer, or an empty period
    END IF;
    INSERT INTO temp_lista_mesaje (data_creare, cif, id_solicitare, detalii, tip, id)
    SELECT m.data_creare, m.cif, m.id_solicitare, m.detalii, m.tip, m.id
      FROM (SELECT DISTINCT ON (e ->> 'data_creare', e ->> 'id')
                   e ->> 'data_creare' AS data_creare, e ->> 'cif' AS cif,
                   e ->> 'id_solicitare' AS id_solicitare, e ->> 'detalii' AS detalii,
                   e ->> 'tip' AS tip, e ->> 'id' AS id, n
              FROM jsonb_array_elements(j -> 'mesaje') WITH ORDINALITY AS x(e, n)
             WHERE e ->> 'data_creare' IS NOT NULL AND e ->> 'id' IS NOT NULL
             ORDER BY e ->> 'data_creare', e ->> 'id', n) m
     WHERE NOT EXISTS (SELECT 1 FROM anaf_e_fact_msg_toate t
                        WHERE t.msg_data_creare = m.data_creare AND t.msg_id = m.id)
     ORDER BY m.n;
END $$;

-- Stores a downloaded message for the ERP: answers to the company's own uploads go to
-- anaf_e_fact_msg once per upload record they belong to.
CREATE FUNCTION o_anaf_e_fact_msg_ins(pidmesaj text, pindexincarcare text, pmesaj text,
                                      pmesajdetalii text, pmesajtip text, pmesajsemnatura text,
                                      pmesajdata text, pmesajzip bytea) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(pidmesaj, '') = '' OR coalesce(pmesajdata, '') = '' THEN
        RAISE EXCEPTION 'Mesajul nu are id sau data de creare';
    END IF;
    IF pmesajtip = 'FACTURA PRIMITA' THEN
        RETURN;  -- received invoices are imported through their own functions
    END IF;
    INSERT INTO anaf_e_fact_msg (data_doc, tip_doc, nr_doc, id_mesaj, mesaj, mesaj_detalii, mesaj_tip,
                                 mesaj_semnatura, mesaj_data, index_incarcare, mesaj_zip)
    SELECT a.data_doc, a.tip_doc, a.nr_doc, pidmesaj, pmesaj, pmesajdetalii, pmesajtip,
           pmesajsemnatura, pmesajdata, pindexincarcare, pmesajzip
      FROM anaf_e_fact a
     WHERE a.index_incarcare = pindexincarcare
       AND NOT EXISTS (SELECT 1 FROM anaf_e_fact_msg m
                        WHERE m.mesaj_data = pmesajdata AND m.id_mesaj = pidmesaj);
END $$;

-- Creates the purchase document of a received invoice, with its lines, and records which message
-- it came from in anaf_e_fact_msg_doc, which the views read. The document is 'FF' for an invoice,
-- 'FFR' for a credit note (type code 381), numbered as the supplier numbered it. Raises with the
-- reason when it cannot.
CREATE FUNCTION o_efact_creeaza_doc_furnizor(pemitent text, pmsgdatacreare text, pmsgid text, pxml text,
                                            OUT rdatadoc date, OUT rtipdoc text, OUT rnrdoc text)
LANGUAGE plpgsql AS $$
DECLARE
    r record;
    h record;
    l record;
    d xml;
    n integer := 0;
BEGIN
    SELECT 'Factura este deja importata in QOR: ' || k.tip_doc || ' ' || k.nr_doc || ' din ' ||
           to_char(k.data_doc, 'DD.MM.YYYY') AS motiv
      INTO r FROM anaf_e_fact_msg_doc k
     WHERE k.msg_data_creare = pmsgdatacreare AND k.msg_id = pmsgid;
    IF FOUND THEN
        RAISE EXCEPTION '%', r.motiv;
    END IF;
    IF o_xml_val(pxml) IS NULL THEN
        RAISE EXCEPTION 'Mesajul nu contine XML-ul facturii';
    END IF;
    SELECT * INTO r FROM o_e_fact_read_xml(pxml);
    IF r.err_xml IS NOT NULL THEN
        RAISE EXCEPTION 'XML-ul facturii nu poate fi citit: %', r.err_xml;
    END IF;
    IF r.partener_xml IS NULL THEN
        RAISE EXCEPTION 'Furnizorul nu este precizat in XML';
    END IF;
    d := o_xml_parse(pxml);
    SELECT * INTO h FROM o_ubl_antet(d);
    rdatadoc := r.data_doc_xml;
    rtipdoc := CASE WHEN r.type_code_doc_xml = '381' THEN 'FFR' ELSE 'FF' END;
    rnrdoc := left(r.nr_doc_xml, 15);
    IF EXISTS (SELECT 1 FROM doc WHERE data_doc = rdatadoc AND tip_doc = rtipdoc AND nr_doc = rnrdoc) THEN
        RAISE EXCEPTION 'Documentul % % din % exista deja in QOR', rtipdoc, rnrdoc, to_char(rdatadoc, 'DD.MM.YYYY');
    END IF;
    INSERT INTO partener (partener, cod_fiscal)
    VALUES (left(r.partener_xml, 100), left(h.furnizor_cui, 30)) ON CONFLICT (partener) DO NOTHING;
    INSERT INTO doc (data_doc, tip_doc, nr_doc, val_mon, moneda, partener, cod_fiscal_partener, emitent, sursa)
    VALUES (rdatadoc, rtipdoc, rnrdoc, r.val_cu_tva_mon_xml, left(coalesce(h.moneda, 'RON'), 3),
            left(r.partener_xml, 100), left(h.furnizor_cui, 30), pemitent, 'SPV ' || pmsgdatacreare || '/' || pmsgid);
    FOR l IN SELECT o_xml_val(x.articol) AS articol, o_xml_val(x.um) AS um,
                    o_xml_val(x.cantitate) AS cantitate, o_xml_val(x.pret) AS pret, o_xml_val(x.cota) AS cota
               FROM XMLTABLE('/*/*[local-name()="InvoiceLine" or local-name()="CreditNoteLine"]' PASSING d COLUMNS
                    articol   text PATH '(*[local-name()="Item"]/*[local-name()="Name"])[1]',
                    um        text PATH '(*[local-name()="InvoicedQuantity" or local-name()="CreditedQuantity"])[1]/@unitCode',
                    cantitate text PATH '(*[local-name()="InvoicedQuantity" or local-name()="CreditedQuantity"])[1]',
                    pret      text PATH '(*[local-name()="Price"]/*[local-name()="PriceAmount"])[1]',
                    cota      text PATH '(*[local-name()="Item"]/*[local-name()="ClassifiedTaxCategory"]/*[local-name()="Percent"])[1]') x
    LOOP
        n := n + 1;
        IF (l.cantitate IS NOT NULL AND o_text_numeric(l.cantitate) IS NULL)
           OR (l.pret IS NOT NULL AND o_text_numeric(l.pret) IS NULL)
           OR (l.cota IS NOT NULL AND o_text_numeric(l.cota) IS NULL) THEN
            RAISE EXCEPTION 'Linia % a facturii are cantitate, pret sau cota TVA invalide', n;
        END IF;
        INSERT INTO doc_linii (data_doc, tip_doc, nr_doc, nr_linie, articol, um, cantitate, pret, cota_tva)
        VALUES (rdatadoc, rtipdoc, rnrdoc, n, left(l.articol, 200), left(coalesce(l.um, 'H87'), 10),
                coalesce(o_text_numeric(l.cantitate), 1), coalesce(o_text_numeric(l.pret), 0),
                coalesce(o_text_numeric(l.cota), 0));
    END LOOP;
    INSERT INTO anaf_e_fact_msg_doc (msg_data_creare, msg_id, data_doc, tip_doc, nr_doc, emitent)
    VALUES (pmsgdatacreare, pmsgid, rdatadoc, rtipdoc, rnrdoc, pemitent);
END $$;

-- Imports a received invoice given its XML and records the outcome in both message tables, which
-- hold the same message: data_ins_qor on success, err_ins_qor with the reason otherwise. A failed
-- import leaves nothing behind (the block rolls back to its start) and keeps an earlier mark.
CREATE FUNCTION o_efact_import_si_marcheaza(pemitent text, pmsgdatacreare text, pmsgid text, pxml text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    k record;
    reason text;
BEGIN
    BEGIN
        SELECT * INTO k FROM o_efact_creeaza_doc_furnizor(pemitent, pmsgdatacreare, pmsgid, pxml);
    EXCEPTION WHEN raise_exception OR data_exception OR integrity_constraint_violation THEN
        reason := SQLERRM;
    END;
    PERFORM o_efact_noteaza_import(pmsgdatacreare, pmsgid, reason);
END $$;

-- The import marks of one message in both message tables: data_ins_qor now and no error when
-- perror is NULL, otherwise the error and data_ins_qor as it was.
CREATE FUNCTION o_efact_noteaza_import(pmsgdatacreare text, pmsgid text, perror text)
RETURNS void LANGUAGE sql AS $$
    UPDATE anaf_e_fact_msg_toate
       SET data_ins_qor = CASE WHEN perror IS NULL THEN clock_timestamp() ELSE data_ins_qor END, err_ins_qor = perror
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    UPDATE anaf_e_fact_furn_msg
       SET data_ins_qor = CASE WHEN perror IS NULL THEN clock_timestamp() ELSE data_ins_qor END, err_ins_qor = perror
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
$$;

-- Imports one received invoice of anaf_e_fact_msg_toate. Any other kind of message is refused
-- (the company's own invoice must never become a purchase document).
CREATE FUNCTION o_efact_furn_ins_qor_unu_msg_toate(pemitent text, pmsgdatacreare text, pmsgid text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    m record;
BEGIN
    SELECT msg_tip, msg_factura_xml INTO m FROM anaf_e_fact_msg_toate
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Mesajul % / % nu exista', pmsgdatacreare, pmsgid;
    END IF;
    IF m.msg_tip IS DISTINCT FROM 'FACTURA PRIMITA' THEN
        PERFORM o_efact_noteaza_import(pmsgdatacreare, pmsgid,
            'Mesajul nu este o factura primita (' || coalesce(m.msg_tip, 'fara tip') || ')');
        RETURN;
    END IF;
    PERFORM o_efact_import_si_marcheaza(pemitent, pmsgdatacreare, pmsgid, m.msg_factura_xml);
END $$;

-- The same for a row of anaf_e_fact_furn_msg, which holds only received invoices.
CREATE FUNCTION o_efact_furn_ins_qor_unu(pemitent text, pmsgdatacreare text, pmsgid text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    x text;
BEGIN
    SELECT msg_xml INTO x FROM anaf_e_fact_furn_msg WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Mesajul % / % nu exista', pmsgdatacreare, pmsgid;
    END IF;
    PERFORM o_efact_import_si_marcheaza(pemitent, pmsgdatacreare, pmsgid, x);
END $$;

-- Imports every invoice of anaf_e_fact_furn_msg that is neither imported nor marked; one that
-- fails keeps its reason and the others still go in.
CREATE FUNCTION o_efact_furn_ins_qor_tot(pemitent text) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    m record;
BEGIN
    FOR m IN SELECT msg_data_creare, msg_id FROM anaf_e_fact_furn_msg
              WHERE data_ins_qor IS NULL
              ORDER BY msg_data_creare, msg_id
    LOOP
        PERFORM o_efact_furn_ins_qor_unu(pemitent, m.msg_data_creare, m.msg_id);
    END LOOP;
END $$;

-- Marks an invoice of anaf_e_fact_furn_msg as imported without importing it.
CREATE FUNCTION o_efact_furn_marcheaza_ins_qor(pmsgdatacreare text, pmsgid text) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    UPDATE anaf_e_fact_furn_msg SET data_ins_qor = clock_timestamp(), err_ins_qor = NULL
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Mesajul % / % nu exista', pmsgdatacreare, pmsgid;
    END IF;
END $$;

-- A UBL 2.1 CIUS-RO invoice of a sales document of the ERP, from doc and its lines, the company
-- (eu) and the partner. Dates are written with an explicit pattern, so the session's DateStyle
-- cannot change them; VAT is computed per rate on the summed line amounts, as EN 16931 does.
CREATE FUNCTION o_gen_xml_efactura(pdatadoc date, ptipdoc text, pnrdoc text, OUT pxmlef text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    h record;
    c record;
    p record;
    cur text;
    lines text;
    subtotals text;
    net numeric;
    vat numeric;
BEGIN
    SELECT * INTO h FROM doc WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Documentul % % din % nu exista', ptipdoc, pnrdoc, to_char(pdatadoc, 'DD.MM.YYYY');
    END IF;
    SELECT * INTO c FROM eu LIMIT 1;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Datele firmei lipsesc (tabela eu)';
    END IF;
    SELECT * INTO p FROM partener WHERE partener = h.partener;
    cur := coalesce(h.moneda, 'RON');
    SELECT string_agg(format(
               '<cac:InvoiceLine><cbc:ID>%s</cbc:ID><cbc:InvoicedQuantity unitCode="%s">%s</cbc:InvoicedQuantity>'
               '<cbc:LineExtensionAmount currencyID="%s">%s</cbc:LineExtensionAmount>'
               '<cac:Item><cbc:Name>%s</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>%s</cbc:ID>'
               '<cbc:Percent>%s</cbc:Percent><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme>'
               '</cac:ClassifiedTaxCategory></cac:Item><cac:Price><cbc:PriceAmount currencyID="%s">%s</cbc:PriceAmount>'
               '</cac:Price></cac:InvoiceLine>',
               l.n, o_xml_escape(l.um), l.cantitate, cur, l.valoare, o_xml_escape(l.articol),
               CASE WHEN l.cota > 0 THEN 'S' ELSE 'Z' END, l.cota, cur, l.pret), '' ORDER BY l.n),
           sum(l.valoare)
      INTO lines, net
      FROM (SELECT row_number() OVER (ORDER BY nr_linie) AS n, articol, coalesce(um, 'H87') AS um,
                   coalesce(cantitate, 0) AS cantitate, coalesce(pret, 0) AS pret, coalesce(cota_tva, 0) AS cota,
                   round(coalesce(cantitate, 0) * coalesce(pret, 0), 2) AS valoare
              FROM doc_linii WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc) l;
    IF lines IS NULL THEN
        RAISE EXCEPTION 'Documentul % % din % nu are linii', ptipdoc, pnrdoc, to_char(pdatadoc, 'DD.MM.YYYY');
    END IF;
    SELECT string_agg(format(
               '<cac:TaxSubtotal><cbc:TaxableAmount currencyID="%s">%s</cbc:TaxableAmount>'
               '<cbc:TaxAmount currencyID="%s">%s</cbc:TaxAmount><cac:TaxCategory><cbc:ID>%s</cbc:ID>'
               '<cbc:Percent>%s</cbc:Percent><cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:TaxCategory>'
               '</cac:TaxSubtotal>',
               cur, s.baza, cur, s.tva, CASE WHEN s.cota > 0 THEN 'S' ELSE 'Z' END, s.cota), '' ORDER BY s.cota),
           sum(s.tva)
      INTO subtotals, vat
      FROM (SELECT coalesce(cota_tva, 0) AS cota, sum(round(coalesce(cantitate, 0) * coalesce(pret, 0), 2)) AS baza,
                   round(sum(round(coalesce(cantitate, 0) * coalesce(pret, 0), 2)) * coalesce(cota_tva, 0) / 100, 2) AS tva
              FROM doc_linii WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc
             GROUP BY coalesce(cota_tva, 0)) s;
    pxmlef := format(
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<Invoice xmlns="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2" '
        'xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2" '
        'xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">'
        '<cbc:CustomizationID>urn:cen.eu:en16931:2017#compliant#urn:efactura.mfinante.ro:CIUS-RO:1.0.1</cbc:CustomizationID>'
        '<cbc:ID>%s</cbc:ID><cbc:IssueDate>%s</cbc:IssueDate><cbc:DueDate>%s</cbc:DueDate>'
        '<cbc:InvoiceTypeCode>380</cbc:InvoiceTypeCode><cbc:DocumentCurrencyCode>%s</cbc:DocumentCurrencyCode>'
        '<cac:AccountingSupplierParty><cac:Party><cac:PostalAddress><cbc:StreetName>%s</cbc:StreetName>'
        '<cbc:CityName>%s</cbc:CityName><cac:Country><cbc:IdentificationCode>%s</cbc:IdentificationCode></cac:Country>'
        '</cac:PostalAddress><cac:PartyTaxScheme><cbc:CompanyID>%s</cbc:CompanyID><cac:TaxScheme><cbc:ID>VAT</cbc:ID>'
        '</cac:TaxScheme></cac:PartyTaxScheme><cac:PartyLegalEntity><cbc:RegistrationName>%s</cbc:RegistrationName>'
        '<cbc:CompanyID>%s</cbc:CompanyID></cac:PartyLegalEntity></cac:Party></cac:AccountingSupplierParty>'
        '<cac:AccountingCustomerParty><cac:Party><cac:PostalAddress><cbc:StreetName>%s</cbc:StreetName>'
        '<cbc:CityName>%s</cbc:CityName><cac:Country><cbc:IdentificationCode>%s</cbc:IdentificationCode></cac:Country>'
        '</cac:PostalAddress><cac:PartyLegalEntity><cbc:RegistrationName>%s</cbc:RegistrationName>'
        '<cbc:CompanyID>%s</cbc:CompanyID></cac:PartyLegalEntity></cac:Party></cac:AccountingCustomerParty>'
        '<cac:TaxTotal><cbc:TaxAmount currencyID="%s">%s</cbc:TaxAmount>%s</cac:TaxTotal>'
        '<cac:LegalMonetaryTotal><cbc:LineExtensionAmount currencyID="%s">%s</cbc:LineExtensionAmount>'
        '<cbc:TaxExclusiveAmount currencyID="%s">%s</cbc:TaxExclusiveAmount>'
        '<cbc:TaxInclusiveAmount currencyID="%s">%s</cbc:TaxInclusiveAmount>'
        '<cbc:PayableAmount currencyID="%s">%s</cbc:PayableAmount></cac:LegalMonetaryTotal>%s</Invoice>',
        o_xml_escape(h.nr_doc), to_char(h.data_doc, 'YYYY-MM-DD'),
        to_char(coalesce(h.data_scadenta, h.data_doc), 'YYYY-MM-DD'), o_xml_escape(cur),
        o_xml_escape(c.adresa), o_xml_escape(c.localit), o_xml_escape(coalesce(c.tara, 'RO')),
        upper(regexp_replace(c.cod_cci, '[^0-9A-Za-z]', '', 'g')), o_xml_escape(c.eu), o_xml_escape(c.reg_comert_nr),
        o_xml_escape(p.adresa), o_xml_escape(p.localit), o_xml_escape(coalesce(p.tara, 'RO')), o_xml_escape(h.partener),
        upper(regexp_replace(coalesce(p.cod_fiscal, h.cod_fiscal_partener, ''), '[^0-9A-Za-z]', '', 'g')),
        cur, vat, subtotals, cur, net, cur, net, cur, net + vat, cur, net + vat, lines);
END $$;

-- A message to the other party of an uploaded invoice.
CREATE FUNCTION o_gen_xml_efact_trimite_mesaj(pindexincarcare text, pmesaj text, OUT pxmltrimitemesaj text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM anaf_e_fact WHERE index_incarcare = pindexincarcare)
       AND NOT EXISTS (SELECT 1 FROM anaf_e_fact_msg_toate WHERE msg_index_incarcare = pindexincarcare) THEN
        RAISE EXCEPTION 'Indexul de incarcare % nu exista', pindexincarcare;
    END IF;
    IF coalesce(btrim(pmesaj), '') = '' THEN
        RAISE EXCEPTION 'Mesajul este gol';
    END IF;
    pxmltrimitemesaj := format(
        '<?xml version="1.0" encoding="UTF-8"?><mesaj xmlns="mfp:anaf:dgti:efactura:mesajFactura:v1" '
        'index_incarcare="%s" cif="%s"><text>%s</text></mesaj>',
        o_xml_escape(pindexincarcare), o_xml_escape(o_eu_cui()), o_xml_escape(pmesaj));
END $$;

-- The e-Transport declaration of transport number pscv of an ERP document: its lines are the goods.
CREATE FUNCTION o_gen_xml_etransp(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    h record;
    items text;
BEGIN
    SELECT * INTO h FROM doc WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Documentul % % din % nu exista', ptipdoc, pnrdoc, to_char(pdatadoc, 'DD.MM.YYYY');
    END IF;
    SELECT string_agg(format(
               '<bunuriTransportate nrCrt="%s" denumireMarfa="%s" cantitate="%s" codUnitateMasura="%s" '
               'valoareLeiFaraTva="%s"/>', l.n, o_xml_escape(l.articol), l.cantitate, o_xml_escape(l.um), l.valoare),
               '' ORDER BY l.n)
      INTO items
      FROM (SELECT row_number() OVER (ORDER BY nr_linie) AS n, articol, coalesce(um, 'H87') AS um,
                   coalesce(cantitate, 0) AS cantitate, round(coalesce(cantitate, 0) * coalesce(pret, 0), 2) AS valoare
              FROM doc_linii WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc) l;
    IF items IS NULL THEN
        RAISE EXCEPTION 'Documentul % % din % nu are linii', ptipdoc, pnrdoc, to_char(pdatadoc, 'DD.MM.YYYY');
    END IF;
    pxmlet := format(
        '<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
        'codDeclarant="%s" refDeclarant="%s/%s"><notificare codTipOperatiune="30">%s'
        '<partenerComercial denumire="%s" cod="%s"/><documenteTransport tipDocument="30" '
        'numarDocument="%s" dataDocument="%s"/></notificare></eTransport>',
        o_eu_cui(), o_xml_escape(pnrdoc), pscv, items, o_xml_escape(h.partener),
        o_xml_escape(h.cod_fiscal_partener), o_xml_escape(pnrdoc), to_char(pdatadoc, 'YYYY-MM-DD'));
END $$;

-- The UIT of the last declaration of a transport that ANAF accepted, or an error naming the transport.
CREATE FUNCTION o_etransp_uit(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    u text;
BEGIN
    SELECT uit INTO u FROM anaf_e_transp_actiuni
     WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc AND scv = pscv
       AND coalesce(uit, '') <> ''
     ORDER BY cand DESC, id DESC LIMIT 1;
    IF u IS NULL THEN
        RAISE EXCEPTION 'Transportul %/% % din % nu are UIT', pnrdoc, pscv, ptipdoc, to_char(pdatadoc, 'DD.MM.YYYY');
    END IF;
    RETURN u;
END $$;

CREATE FUNCTION o_gen_xml_etransp_sterge(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    pxmlet := format('<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
                     'codDeclarant="%s"><stergere uit="%s"/></eTransport>',
                     o_eu_cui(), o_xml_escape(o_etransp_uit(pdatadoc, ptipdoc, pnrdoc, pscv)));
END $$;

CREATE FUNCTION o_gen_xml_etransp_confirm(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    pxmlet := format('<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
                     'codDeclarant="%s"><confirmare uit="%s" tipConfirmare="10"/></eTransport>',
                     o_eu_cui(), o_xml_escape(o_etransp_uit(pdatadoc, ptipdoc, pnrdoc, pscv)));
END $$;

-- A change of vehicle (or of trailers) for a transport already declared under puit.
CREATE FUNCTION o_gen_xml_etransp_modif_vehicul(puit text, pdatamodificare timestamp, pnrvehicul text,
                                                pnrremorca1 text, pnrremorca2 text, pobservatii text,
                                                pdeclpostavarie text, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM anaf_e_transp_actiuni WHERE uit = puit) THEN
        RAISE EXCEPTION 'UIT-ul % nu exista', puit;
    END IF;
    IF coalesce(btrim(pnrvehicul), '') = '' THEN
        RAISE EXCEPTION 'Numarul vehiculului lipseste';
    END IF;
    pxmlet := format('<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
                     'codDeclarant="%s"><modifVehicul uit="%s" dataModificare="%s" nrVehicul="%s"%s%s%s%s/></eTransport>',
                     o_eu_cui(), o_xml_escape(puit),
                     to_char(coalesce(pdatamodificare, localtimestamp(0)), 'YYYY-MM-DD"T"HH24:MI:SS'), o_xml_escape(pnrvehicul),
                     CASE WHEN coalesce(pnrremorca1, '') <> '' THEN ' nrRemorca1="' || o_xml_escape(pnrremorca1) || '"' ELSE '' END,
                     CASE WHEN coalesce(pnrremorca2, '') <> '' THEN ' nrRemorca2="' || o_xml_escape(pnrremorca2) || '"' ELSE '' END,
                     CASE WHEN coalesce(pobservatii, '') <> '' THEN ' observatii="' || o_xml_escape(pobservatii) || '"' ELSE '' END,
                     CASE WHEN coalesce(pdeclpostavarie, '') <> '' THEN ' declPostAvarie="' || o_xml_escape(pdeclpostavarie) || '"' ELSE '' END);
END $$;
