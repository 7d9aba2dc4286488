-- Stored functions of the ERP database that Tarvelo calls.

-- First text node an XPath finds, trimmed; NULL when there is none.
CREATE FUNCTION o_xml_text(p_doc xml, p_path text) RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT nullif(btrim((xpath(p_path, p_doc))[1]::text), '')
$$;

-- XML text as UBL documents carry it: entities of the five special characters decoded.
CREATE FUNCTION o_xml_unescape(p text) RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT replace(replace(replace(replace(replace(p, '&lt;', '<'), '&gt;', '>'), '&quot;', '"'),
                   '&apos;', ''''), '&amp;', '&')
$$;

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

-- Reads a UBL 2.1 invoice or credit note (CIUS-RO) by local names, whatever prefixes it uses.
-- Never raises: a faulty or foreign document gives one row whose err_xml says what is wrong.
CREATE FUNCTION o_e_fact_read_xml(p_xml text)
RETURNS TABLE (err_xml text, data_doc_xml date, tip_doc_xml text, nr_doc_xml text,
               partener_xml text, partener_cump_xml text, type_code_doc_xml text,
               val_cu_tva_mon_xml numeric, val_rotunjire_plata_xml numeric)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    d xml;
    v text;
    party constant text := '/*[local-name()=''Party'']';
BEGIN
    IF p_xml IS NULL OR btrim(p_xml) = '' THEN
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
    tip_doc_xml := (xpath('local-name(/*)', d))[1]::text;
    IF tip_doc_xml NOT IN ('Invoice', 'CreditNote') THEN
        err_xml := 'Documentul nu este o factura UBL (element radacina ' || tip_doc_xml || ')';
        tip_doc_xml := NULL;
        RETURN NEXT;
        RETURN;
    END IF;
    nr_doc_xml := o_xml_unescape(o_xml_text(d, '/*/*[local-name()=''ID'']/text()'));
    type_code_doc_xml := left(o_xml_text(d,
        '/*/*[local-name()=''InvoiceTypeCode'' or local-name()=''CreditNoteTypeCode'']/text()'), 7);
    partener_xml := o_xml_unescape(coalesce(
        o_xml_text(d, '/*/*[local-name()=''AccountingSupplierParty'']' || party ||
                      '/*[local-name()=''PartyLegalEntity'']/*[local-name()=''RegistrationName'']/text()'),
        o_xml_text(d, '/*/*[local-name()=''AccountingSupplierParty'']' || party ||
                      '/*[local-name()=''PartyName'']/*[local-name()=''Name'']/text()')));
    partener_cump_xml := o_xml_unescape(coalesce(
        o_xml_text(d, '/*/*[local-name()=''AccountingCustomerParty'']' || party ||
                      '/*[local-name()=''PartyLegalEntity'']/*[local-name()=''RegistrationName'']/text()'),
        o_xml_text(d, '/*/*[local-name()=''AccountingCustomerParty'']' || party ||
                      '/*[local-name()=''PartyName'']/*[local-name()=''Name'']/text()')));

    v := o_xml_text(d, '/*/*[local-name()=''IssueDate'']/text()');
    BEGIN
        data_doc_xml := to_date(v, 'YYYY-MM-DD');
        IF v !~ '^\d{4}-\d{2}-\d{2}$' THEN RAISE EXCEPTION 'format'; END IF;
    EXCEPTION WHEN others THEN
        data_doc_xml := NULL;
        err_xml := concat_ws('; ', err_xml, 'IssueDate invalid: ' || coalesce(v, 'lipsa'));
    END;
    v := o_xml_text(d, '/*/*[local-name()=''LegalMonetaryTotal'']/*[local-name()=''TaxInclusiveAmount'']/text()');
    BEGIN
        val_cu_tva_mon_xml := v::numeric;
    EXCEPTION WHEN others THEN
        err_xml := concat_ws('; ', err_xml, 'TaxInclusiveAmount invalid: ' || v);
    END;
    v := o_xml_text(d, '/*/*[local-name()=''LegalMonetaryTotal'']/*[local-name()=''PayableRoundingAmount'']/text()');
    BEGIN
        val_rotunjire_plata_xml := v::numeric;
    EXCEPTION WHEN others THEN
        err_xml := concat_ws('; ', err_xml, 'PayableRoundingAmount invalid: ' || v);
    END;
    IF nr_doc_xml IS NULL THEN
        err_xml := concat_ws('; ', err_xml, 'ID lipsa');
    END IF;
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

-- Creates the purchase document of a received invoice and returns its key, or raises with the
-- reason it cannot. Shared by the imports from both message tables.
CREATE FUNCTION o_efact_creeaza_doc_furnizor(pemitent text, pmsgdatacreare text, pmsgid text, pxml text,
                                            OUT rdatadoc date, OUT rtipdoc text, OUT rnrdoc text)
LANGUAGE plpgsql AS $$
DECLARE
    r record;
    d xml;
    cur text;
    cui text;
    nlines integer;
    lp text;
BEGIN
    IF EXISTS (SELECT 1 FROM anaf_e_fact_msg_doc l
                WHERE l.msg_data_creare = pmsgdatacreare AND l.msg_id = pmsgid) THEN
        SELECT 'Factura este deja importata in QOR: ' || l.tip_doc || ' ' || l.nr_doc || ' din ' ||
               to_char(l.data_doc, 'DD.MM.YYYY')
          INTO cur FROM anaf_e_fact_msg_doc l
         WHERE l.msg_data_creare = pmsgdatacreare AND l.msg_id = pmsgid;
        RAISE EXCEPTION '%', cur USING ERRCODE = 'P0001';
    END IF;
    IF pxml IS NULL OR btrim(pxml) = '' THEN
        RAISE EXCEPTION 'Mesajul nu contine XML-ul facturii';
    END IF;
    SELECT * INTO r FROM o_e_fact_read_xml(pxml);
    IF r.err_xml IS NOT NULL THEN
        RAISE EXCEPTION 'XML-ul facturii nu poate fi citit: %', r.err_xml;
    END IF;
    d := o_xml_parse(pxml);
    cur := coalesce(o_xml_text(d, '/*/*[local-name()=''DocumentCurrencyCode'']/text()'), 'RON');
    cui := o_xml_text(d, '/*/*[local-name()=''AccountingSupplierParty'']/*[local-name()=''Party'']' ||
                        '/*[local-name()=''PartyTaxScheme'']/*[local-name()=''CompanyID'']/text()');
    IF cui IS NULL THEN
        cui := o_xml_text(d, '/*/*[local-name()=''AccountingSupplierParty'']/*[local-name()=''Party'']' ||
                            '/*[local-name()=''PartyLegalEntity'']/*[local-name()=''CompanyID'']/text()');
    END IF;
    IF r.partener_xml IS NULL THEN
        RAISE EXCEPTION 'Furnizorul nu este precizat in XML';
    END IF;
    rdatadoc := r.data_doc_xml;
    rtipdoc := CASE WHEN r.type_code_doc_xml = '381' THEN 'FFR' ELSE 'FF' END;
    rnrdoc := left(r.nr_doc_xml, 15);
    IF EXISTS (SELECT 1 FROM doc WHERE data_doc = rdatadoc AND tip_doc = rtipdoc AND nr_doc = rnrdoc) THEN
        RAISE EXCEPTION 'Documentul % % din % exista deja in QOR', rtipdoc, rnrdoc,
              to_char(rdatadoc, 'DD.MM.YYYY');
    END IF;
    INSERT INTO partener (partener, cod_fiscal)
    VALUES (left(r.partener_xml, 100), left(cui, 30)) ON CONFLICT (partener) DO NOTHING;
    INSERT INTO doc (data_doc, tip_doc, nr_doc, val_mon, moneda, partener, cod_fiscal_partener, emitent, sursa)
    VALUES (rdatadoc, rtipdoc, rnrdoc, r.val_cu_tva_mon_xml, left(cur, 3), left(r.partener_xml, 100),
            left(cui, 30), pemitent, 'SPV ' || pmsgdatacreare || '/' || pmsgid);
    nlines := (xpath('count(/*/*[local-name()=''InvoiceLine'' or local-name()=''CreditNoteLine''])', d))[1]::text::integer;
    FOR i IN 1 .. nlines LOOP
        lp := '(/*/*[local-name()=''InvoiceLine'' or local-name()=''CreditNoteLine''])[' || i || ']';
        INSERT INTO doc_linii (data_doc, tip_doc, nr_doc, nr_linie, articol, um, cantitate, pret)
        VALUES (rdatadoc, rtipdoc, rnrdoc, i,
                left(o_xml_unescape(o_xml_text(d, lp || '/*[local-name()=''Item'']/*[local-name()=''Name'']/text()')), 200),
                left(coalesce(o_xml_text(d, lp || '/*[local-name()=''InvoicedQuantity'' or local-name()=''CreditedQuantity'']/@unitCode'), 'H87'), 10),
                coalesce(o_xml_text(d, lp || '/*[local-name()=''InvoicedQuantity'' or local-name()=''CreditedQuantity'']/text()')::numeric, 1),
                coalesce(o_xml_text(d, lp || '/*[local-name()=''Price'']/*[local-name()=''PriceAmount'']/text()')::numeric, 0));
    END LOOP;
    INSERT INTO anaf_e_fact_msg_doc (msg_data_creare, msg_id, data_doc, tip_doc, nr_doc, emitent)
    VALUES (pmsgdatacreare, pmsgid, rdatadoc, rtipdoc, rnrdoc, pemitent);
END $$;

-- Imports a received invoice given its XML and records the outcome in both message tables, which
-- hold the same message: data_ins_qor on success, err_ins_qor with the reason otherwise.
CREATE FUNCTION o_efact_import_si_marcheaza(pemitent text, pmsgdatacreare text, pmsgid text, pxml text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    k record;
    reason text;
BEGIN
    BEGIN
        SELECT * INTO k FROM o_efact_creeaza_doc_furnizor(pemitent, pmsgdatacreare, pmsgid, pxml);
    EXCEPTION WHEN raise_exception OR unique_violation OR data_exception THEN
        reason := SQLERRM;
    END;
    UPDATE anaf_e_fact_msg_toate
       SET data_ins_qor = CASE WHEN reason IS NULL THEN clock_timestamp() ELSE data_ins_qor END, err_ins_qor = reason
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    UPDATE anaf_e_fact_furn_msg
       SET data_ins_qor = CASE WHEN reason IS NULL THEN clock_timestamp() ELSE data_ins_qor END, err_ins_qor = reason
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
END $$;

-- Imports one received invoice of anaf_e_fact_msg_toate.
CREATE FUNCTION o_efact_furn_ins_qor_unu_msg_toate(pemitent text, pmsgdatacreare text, pmsgid text)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    x text;
BEGIN
    SELECT msg_factura_xml INTO x FROM anaf_e_fact_msg_toate WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Mesajul % / % nu exista', pmsgdatacreare, pmsgid;
    END IF;
    PERFORM o_efact_import_si_marcheaza(pemitent, pmsgdatacreare, pmsgid, x);
END $$;

-- The same for a row of anaf_e_fact_furn_msg.
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

-- Imports every received invoice of anaf_e_fact_furn_msg that is neither imported nor marked.
CREATE FUNCTION o_efact_furn_ins_qor_tot(pemitent text) RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    m record;
BEGIN
    FOR m IN SELECT msg_data_creare, msg_id FROM anaf_e_fact_furn_msg
              WHERE data_ins_qor IS NULL AND msg_tip = 'FACTURA PRIMITA'
              ORDER BY msg_data_creare, msg_id
    LOOP
        PERFORM o_efact_furn_ins_qor_unu(pemitent, m.msg_data_creare, m.msg_id);
    END LOOP;
END $$;

CREATE FUNCTION o_efact_furn_marcheaza_ins_qor(pmsgdatacreare text, pmsgid text) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    UPDATE anaf_e_fact_furn_msg SET data_ins_qor = clock_timestamp(), err_ins_qor = NULL
     WHERE msg_data_creare = pmsgdatacreare AND msg_id = pmsgid;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Mesajul % / % nu exista', pmsgdatacreare, pmsgid;
    END IF;
END $$;

-- UBL 2.1 CIUS-RO invoice of a sales document of the ERP.
CREATE FUNCTION o_gen_xml_efactura(pdatadoc date, ptipdoc text, pnrdoc text, OUT pxmlef text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    h record;
    c record;
    p record;
    lines text := '';
    l record;
    net numeric := 0;
    vat numeric := 0;
    n integer := 0;
BEGIN
    SELECT * INTO h FROM doc WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Documentul % % din % nu exista', ptipdoc, pnrdoc, pdatadoc;
    END IF;
    SELECT * INTO c FROM eu LIMIT 1;
    SELECT * INTO p FROM partener WHERE partener = h.partener;
    FOR l IN SELECT * FROM doc_linii WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc
              ORDER BY nr_linie LOOP
        n := n + 1;
        net := net + round(l.cantitate * l.pret, 2);
        vat := vat + round(l.cantitate * l.pret * l.cota_tva / 100, 2);
        lines := lines || format(
            '<cac:InvoiceLine><cbc:ID>%s</cbc:ID><cbc:InvoicedQuantity unitCode="%s">%s</cbc:InvoicedQuantity>'
            '<cbc:LineExtensionAmount currencyID="%s">%s</cbc:LineExtensionAmount>'
            '<cac:Item><cbc:Name>%s</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>%s</cbc:Percent>'
            '<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory></cac:Item>'
            '<cac:Price><cbc:PriceAmount currencyID="%s">%s</cbc:PriceAmount></cac:Price></cac:InvoiceLine>',
            n, o_xml_escape(l.um), l.cantitate, h.moneda, round(l.cantitate * l.pret, 2),
            o_xml_escape(l.articol), l.cota_tva, h.moneda, l.pret);
    END LOOP;
    IF n = 0 THEN
        RAISE EXCEPTION 'Documentul % % din % nu are linii', ptipdoc, pnrdoc, pdatadoc;
    END IF;
    pxmlef := format(
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<Invoice xmlns="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2" '
        'xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2" '
        'xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2">'
        '<cbc:CustomizationID>urn:cen.eu:en16931:2017#compliant#urn:efactura.mfinante.ro:CIUS-RO:1.0.1</cbc:CustomizationID>'
        '<cbc:ID>%s</cbc:ID><cbc:IssueDate>%s</cbc:IssueDate><cbc:DueDate>%s</cbc:DueDate>'
        '<cbc:InvoiceTypeCode>380</cbc:InvoiceTypeCode><cbc:DocumentCurrencyCode>%s</cbc:DocumentCurrencyCode>'
        '<cac:AccountingSupplierParty><cac:Party><cac:PostalAddress><cbc:StreetName>%s</cbc:StreetName>'
        '<cbc:CityName>%s</cbc:CityName><cac:Country><cbc:IdentificationCode>RO</cbc:IdentificationCode></cac:Country>'
        '</cac:PostalAddress><cac:PartyTaxScheme><cbc:CompanyID>%s</cbc:CompanyID><cac:TaxScheme><cbc:ID>VAT</cbc:ID>'
        '</cac:TaxScheme></cac:PartyTaxScheme><cac:PartyLegalEntity><cbc:RegistrationName>%s</cbc:RegistrationName>'
        '</cac:PartyLegalEntity></cac:Party></cac:AccountingSupplierParty>'
        '<cac:AccountingCustomerParty><cac:Party><cac:PostalAddress><cbc:StreetName>%s</cbc:StreetName>'
        '<cbc:CityName>%s</cbc:CityName><cac:Country><cbc:IdentificationCode>%s</cbc:IdentificationCode></cac:Country>'
        '</cac:PostalAddress><cac:PartyLegalEntity><cbc:RegistrationName>%s</cbc:RegistrationName>'
        '<cbc:CompanyID>%s</cbc:CompanyID></cac:PartyLegalEntity></cac:Party></cac:AccountingCustomerParty>'
        '<cac:TaxTotal><cbc:TaxAmount currencyID="%s">%s</cbc:TaxAmount></cac:TaxTotal>'
        '<cac:LegalMonetaryTotal><cbc:LineExtensionAmount currencyID="%s">%s</cbc:LineExtensionAmount>'
        '<cbc:TaxExclusiveAmount currencyID="%s">%s</cbc:TaxExclusiveAmount>'
        '<cbc:TaxInclusiveAmount currencyID="%s">%s</cbc:TaxInclusiveAmount>'
        '<cbc:PayableAmount currencyID="%s">%s</cbc:PayableAmount></cac:LegalMonetaryTotal>%s</Invoice>',
        o_xml_escape(h.nr_doc), h.data_doc, coalesce(h.data_scadenta, h.data_doc), h.moneda,
        o_xml_escape(c.adresa), o_xml_escape(c.localit), o_xml_escape(c.cod_cci), o_xml_escape(c.eu),
        o_xml_escape(p.adresa), o_xml_escape(p.localit), coalesce(p.tara, 'RO'), o_xml_escape(h.partener),
        o_xml_escape(coalesce(p.cod_fiscal, h.cod_fiscal_partener)),
        h.moneda, vat, h.moneda, net, h.moneda, net, h.moneda, net + vat, h.moneda, net + vat, lines);
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
        o_xml_escape(pindexincarcare), o_xml_escape((SELECT regexp_replace(cod_cci, '[^0-9]', '', 'g') FROM eu LIMIT 1)),
        o_xml_escape(pmesaj));
END $$;

-- e-Transport declaration of an ERP document's transport number pscv.
CREATE FUNCTION o_gen_xml_etransp(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    h record;
    items text := '';
    l record;
BEGIN
    SELECT * INTO h FROM doc WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc;
    IF NOT FOUND THEN
        RAISE EXCEPTION 'Documentul % % din % nu exista', ptipdoc, pnrdoc, pdatadoc;
    END IF;
    FOR l IN SELECT * FROM doc_linii WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc
              ORDER BY nr_linie LOOP
        items := items || format(
            '<bunuriTransportate nrCrt="%s" denumireMarfa="%s" cantitate="%s" codUnitateMasura="%s" '
            'valoareLeiFaraTva="%s"/>', l.nr_linie, o_xml_escape(l.articol), l.cantitate, o_xml_escape(l.um),
            round(l.cantitate * l.pret, 2));
    END LOOP;
    pxmlet := format(
        '<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
        'codDeclarant="%s" refDeclarant="%s/%s"><notificare codTipOperatiune="30">%s'
        '<partenerComercial denumire="%s" cod="%s"/><documenteTransport tipDocument="30" '
        'numarDocument="%s" dataDocument="%s"/></notificare></eTransport>',
        (SELECT regexp_replace(cod_cci, '[^0-9]', '', 'g') FROM eu LIMIT 1), o_xml_escape(pnrdoc), pscv,
        items, o_xml_escape(h.partener), o_xml_escape(h.cod_fiscal_partener), o_xml_escape(pnrdoc), pdatadoc);
END $$;

-- The UIT of the last accepted declaration of a transport, or an error naming the transport.
CREATE FUNCTION o_etransp_uit(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    u text;
BEGIN
    SELECT uit INTO u FROM anaf_e_transp_actiuni
     WHERE data_doc = pdatadoc AND tip_doc = ptipdoc AND nr_doc = pnrdoc AND scv = pscv
       AND coalesce(uit, '') <> ''
     ORDER BY cand DESC LIMIT 1;
    IF u IS NULL THEN
        RAISE EXCEPTION 'Transportul %/% % din % nu are UIT', pnrdoc, pscv, ptipdoc, pdatadoc;
    END IF;
    RETURN u;
END $$;

CREATE FUNCTION o_gen_xml_etransp_sterge(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    pxmlet := format('<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
                     'codDeclarant="%s"><stergere uit="%s"/></eTransport>',
                     (SELECT regexp_replace(cod_cci, '[^0-9]', '', 'g') FROM eu LIMIT 1),
                     o_xml_escape(o_etransp_uit(pdatadoc, ptipdoc, pnrdoc, pscv)));
END $$;

CREATE FUNCTION o_gen_xml_etransp_confirm(pdatadoc date, ptipdoc text, pnrdoc text, pscv integer, OUT pxmlet text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    pxmlet := format('<?xml version="1.0" encoding="UTF-8"?><eTransport xmlns="mfp:anaf:dgti:eTransport:declaratie:v2" '
                     'codDeclarant="%s"><confirmare uit="%s" tipConfirmare="10"/></eTransport>',
                     (SELECT regexp_replace(cod_cci, '[^0-9]', '', 'g') FROM eu LIMIT 1),
                     o_xml_escape(o_etransp_uit(pdatadoc, ptipdoc, pnrdoc, pscv)));
END $$;

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
                     (SELECT regexp_replace(cod_cci, '[^0-9]', '', 'g') FROM eu LIMIT 1), o_xml_escape(puit),
                     to_char(pdatamodificare, 'YYYY-MM-DD"T"HH24:MI:SS'), o_xml_escape(pnrvehicul),
                     CASE WHEN coalesce(pnrremorca1, '') <> '' THEN ' nrRemorca1="' || o_xml_escape(pnrremorca1) || '"' ELSE '' END,
                     CASE WHEN coalesce(pnrremorca2, '') <> '' THEN ' nrRemorca2="' || o_xml_escape(pnrremorca2) || '"' ELSE '' END,
                     CASE WHEN coalesce(pobservatii, '') <> '' THEN ' observatii="' || o_xml_escape(pobservatii) || '"' ELSE '' END,
                     CASE WHEN coalesce(pdeclpostavarie, '') <> '' THEN ' declPostAvarie="' || o_xml_escape(pdeclpostavarie) || '"' ELSE '' END);
END $$;
